#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks: its own data
# folder inside <dir>, a Unix socket there and a free TCP port on 127.0.0.1,
# password authentication, owned by an unprivileged user (the server refuses
# to run as root).
#
#   pg-test-server.sh start <dir>   starts it and writes <dir>/env, lines of
#                                   MEDLANTIS_TEST_PG_*=value to source
#                                   (a server made before in <dir> starts
#                                   again on its own port)
#   pg-test-server.sh stop <dir>    stops it (fine if it never started)
set -euo pipefail

command=${1:-}
dir=${2:-}
if [ -z "$command" ] || [ -z "$dir" ]; then
    echo "usage: $0 start|stop <dir>" >&2
    exit 2
fi

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/pg_ctl" ]; then
    echo "PostgreSQL's server programs are not installed (package postgresql)" >&2
    exit 1
fi

# As root the server runs as the "postgres" user the package creates.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

# Durability does not matter for a server that lives one test run.
run_server() {
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-k $dir -p $1 -c listen_addresses=127.0.0.1 -c fsync=off \
            -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
        start >/dev/null || {
        echo "the server did not start:" >&2
        cat "$dir/server.log" >&2 || true
        exit 1
    }
}

case "$command" in
start)
    if [ -f "$dir/env" ] && [ -d "$dir/data" ]; then
        run_server "$(sed -n 's/^MEDLANTIS_TEST_PG_PORT=//p' "$dir/env")"
        exit 0
    fi
    mkdir -p "$dir"
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres "$dir"
    fi
    chmod 755 "$dir"
    port=54320
    while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
        port=$((port + 1))
    done
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    as_owner bash -c "umask 077; printf '%s\n' '$password' > '$dir/pw'"
    as_owner "$bin/initdb" -D "$dir/data" -U medlantis --auth=scram-sha-256 \
        --pwfile="$dir/pw" --encoding=UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || {
        echo "initdb failed:" >&2
        cat "$dir/initdb.log" >&2
        exit 1
    }
    as_owner rm -f "$dir/pw"
    run_server "$port"
    {
        echo "MEDLANTIS_TEST_PG_SOCKET=$dir"
        echo "MEDLANTIS_TEST_PG_PORT=$port"
        echo "MEDLANTIS_TEST_PG_USER=medlantis"
        echo "MEDLANTIS_TEST_PG_PASSWORD=$password"
    } >"$dir/env"
    ;;
stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
    fi
    ;;
*)
    echo "usage: $0 start|stop <dir>" >&2
    exit 2
    ;;
esac
