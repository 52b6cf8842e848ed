#!/usr/bin/env bash
# Installs what is missing, builds, and starts Medlantis.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
exec ./build/medlantis
