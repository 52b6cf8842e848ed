#!/usr/bin/env bash
# Backup and restore on both engines, beside the database's own tools, with a
# server of its own.
#   tools/bench-backup.sh [--patients N] [--engine embedded|server]
exec bash "$(dirname "$0")/bench-on-server.sh" bench_backup "$@"
