#!/usr/bin/env bash
# Installs what is missing, builds, starts a throw-away PostgreSQL server for
# the tests that run on both engines, runs every test, and stops the server
# whatever happened.
#   --sanitize  builds in ./build-sanitize (Debug, AddressSanitizer and
#               UndefinedBehaviorSanitizer) and runs the same suite there; the
#               first report ends its process, and any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build
configure=()
reports=""
case "${1:-}" in
"") ;;
--sanitize)
    build=build-sanitize
    configure=(-DCMAKE_BUILD_TYPE=Debug -DMEDLANTIS_SANITIZE=ON)
    # Every process writes its reports here, the helpers and programs that
    # tests start included, so none is lost when a test ignores an exit code.
    reports=$root/build-sanitize/sanitizer-reports
    rm -rf "$reports"
    mkdir -p "$reports"
    export ASAN_OPTIONS=halt_on_error=1:log_path=$reports/asan
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan
    ;;
*)
    echo "usage: bash tools/test.sh [--sanitize]" >&2
    exit 2
    ;;
esac
# Prints what the sanitizers reported and says whether there was anything.
show_reports() {
    [ -n "$reports" ] && [ -n "$(ls -A "$reports")" ] || return 1
    for f in "$reports"/*; do
        echo "Sanitizer report $f:" >&2
        cat "$f" >&2
    done
}
# Programs the build runs (the blank database) are sanitized too.
if ! MEDLANTIS_BUILD_DIR=$build tools/setup.sh "${configure[@]}"; then
    show_reports || true
    exit 1
fi
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
status=0
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300 || status=$?
if show_reports; then
    status=1
fi
exit $status
