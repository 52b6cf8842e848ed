#!/usr/bin/env bash
# Installs what is missing, builds, starts a throw-away PostgreSQL server for
# the tests that run on both engines, runs every test, and stops the server
# whatever happened.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

server=$(mktemp -d)
stop_server() {
    bash tools/pg-test-server.sh stop "$server" || true
    rm -rf "$server"
}
trap stop_server EXIT

if bash tools/pg-test-server.sh start "$server" 2>"$server.err"; then
    set -a
    # shellcheck disable=SC1091
    source "$server/env"
    set +a
    echo "Test database server: 127.0.0.1:$MEDLANTIS_TEST_PG_PORT"
else
    MEDLANTIS_TEST_PG_UNAVAILABLE=$(tr '\n' ' ' <"$server.err")
    export MEDLANTIS_TEST_PG_UNAVAILABLE
    echo "The test database server could not start; its tests are skipped: " \
        "$MEDLANTIS_TEST_PG_UNAVAILABLE" >&2
fi
rm -f "$server.err"

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
