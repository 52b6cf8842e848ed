#!/usr/bin/env bash
# Installs what is missing, builds, starts a throw-away PostgreSQL server for
# the tests that run on both engines, runs every test, and stops the server
# whatever happened.
#   --sanitize  builds in ./build-sanitize (Debug, AddressSanitizer and
#               UndefinedBehaviorSanitizer) and runs the same suite there; the
#               first report ends its test with a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build
configure=()
case "${1:-}" in
"") ;;
--sanitize)
    build=build-sanitize
    configure=(-DCMAKE_BUILD_TYPE=Debug -DMEDLANTIS_SANITIZE=ON)
    export ASAN_OPTIONS=halt_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    ;;
*)
    echo "usage: bash tools/test.sh [--sanitize]" >&2
    exit 2
    ;;
esac
MEDLANTIS_BUILD_DIR=$build tools/setup.sh "${configure[@]}"
# Includes run one way, from the main window down to the data layer.
bash tools/check-layers.sh

server=$(mktemp -d)
stop_server() {
    bash "$root/tools/pg-test-server.sh" stop "$server" || true
    rm -rf "$server"
}
trap stop_server EXIT

# The tests that run on both engines need it: without it the run is no pass.
if ! bash "$root/tools/pg-test-server.sh" start "$server" 2>"$server.err"; then
    echo "The test database server could not start:" >&2
    cat "$server.err" >&2
    rm -f "$server.err"
    exit 1
fi
rm -f "$server.err"
set -a
# shellcheck disable=SC1091
source "$server/env"
set +a
echo "Test database server: 127.0.0.1:$MEDLANTIS_TEST_PG_PORT"

cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
