#!/usr/bin/env bash
# The patient list's benchmark on both engines, with a server of its own.
#   tools/bench-patientlist.sh [--patients N] [--engine embedded|server]
exec bash "$(dirname "$0")/bench-on-server.sh" bench_patientlist "$@"
