#!/usr/bin/env bash
# Builds one benchmark and runs it with a database server of its own in the
# benchmark folder, stopped at the end. The synthetic practices are kept
# there (files, and databases on that server), so only the first run makes
# them.
#
#   tools/bench-on-server.sh <benchmark target> [its arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
target=$1
shift

export MEDLANTIS_BENCH_DIR=${MEDLANTIS_BENCH_DIR:-${TMPDIR:-/tmp}/medlantis-bench}
mkdir -p "$MEDLANTIS_BENCH_DIR"

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DMEDLANTIS_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target "$target"

server="$MEDLANTIS_BENCH_DIR/pg"
trap 'bash "$root/tools/pg-test-server.sh" stop "$server" || true' EXIT
bash "$root/tools/pg-test-server.sh" start "$server"
set -a
# shellcheck disable=SC1091
source "$server/env"
set +a

"build-bench/$target" "$@"
