#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks: its own data
# folder inside <dir>, a Unix socket there and a free TCP port on 127.0.0.1,
# scram-sha-256 password checks, TLS only over TCP with a self-signed
# certificate it makes for itself (<dir>/server.crt, which also serves as the
# certificate authority for sslmode=verify-full), owned by an unprivileged
# user (the server refuses to run as root).
#
#   pg-test-server.sh start <dir>   starts it and writes <dir>/env, lines of
#                                   MEDLANTIS_TEST_PG_*=value to source
#                                   (a server made before in <dir> starts
#                                   again on its own port, or on a free one
#                                   written into <dir>/env when another
#                                   program took that port meanwhile)
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

port_taken() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# The first port from $1 on that nothing listens on.
free_port() {
    local port=$1
    while port_taken "$port"; do
        port=$((port + 1))
    done
    echo "$port"
}

# Starts the server on the port $1, or on a free port after it when another
# program holds that one or takes it first (other test servers start at the
# same time); sets port to the one it listens on. Durability does not matter
# for a server that lives one test run.
run_server() {
    port=$(free_port "$1")
    local tries=0 seen
    while :; do
        seen=0
        if [ -f "$dir/server.log" ]; then
            seen=$(wc -l <"$dir/server.log")
        fi
        if as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off \
                -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
            start >/dev/null; then
            return 0
        fi
        tries=$((tries + 1))
        if [ "$tries" -ge 20 ] \
            || ! tail -n +"$((seen + 1))" "$dir/server.log" | grep -q "could not bind"; then
            echo "the server did not start:" >&2
            cat "$dir/server.log" >&2 || true
            exit 1
        fi
        port=$(free_port "$((port + 1))")
    done
}

case "$command" in
start)
    if [ -f "$dir/env" ] && [ -d "$dir/data" ]; then
        kept=$(sed -n 's/^MEDLANTIS_TEST_PG_PORT=//p' "$dir/env")
        run_server "$kept"
        if [ "$port" != "$kept" ]; then
            sed -i "s/^MEDLANTIS_TEST_PG_PORT=.*/MEDLANTIS_TEST_PG_PORT=$port/" "$dir/env"
        fi
        exit 0
    fi
    mkdir -p "$dir"
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres "$dir"
    fi
    chmod 755 "$dir"
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    as_owner bash -c "umask 077; printf '%s\n' '$password' > '$dir/pw'"
    as_owner "$bin/initdb" -D "$dir/data" -U medlantis --auth=scram-sha-256 \
        --pwfile="$dir/pw" --encoding=UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || {
        echo "initdb failed:" >&2
        cat "$dir/initdb.log" >&2
        exit 1
    }
    as_owner rm -f "$dir/pw"
    # The server's own certificate, for 127.0.0.1 and localhost.
    as_owner bash -c "umask 077; openssl req -x509 -newkey ec \
        -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 -subj /CN=localhost \
        -addext subjectAltName=IP:127.0.0.1,DNS:localhost \
        -keyout '$dir/data/server.key' -out '$dir/data/server.crt'" >"$dir/openssl.log" 2>&1 || {
        echo "openssl could not make the server's certificate:" >&2
        cat "$dir/openssl.log" >&2
        exit 1
    }
    cp "$dir/data/server.crt" "$dir/server.crt"
    chmod 644 "$dir/server.crt"
    as_owner bash -c "printf '%s\n' 'ssl = on' >> '$dir/data/postgresql.conf'"
    # Over TCP only TLS, and on every path the SCRAM password exchange.
    as_owner bash -c "printf '%s\n' 'local all all scram-sha-256' \
        'hostssl all all 127.0.0.1/32 scram-sha-256' \
        'hostssl all all ::1/128 scram-sha-256' > '$dir/data/pg_hba.conf'"
    # Servers that start at once (parallel tests, other runs on the machine)
    # must not both take the same free port: the choice and the start hold a
    # lock, and each run starts looking at a port of its own, so a server that
    # stops for a while finds its port still free when it starts again.
    exec 9>"${TMPDIR:-/tmp}/medlantis-pg-test-port.lock"
    flock 9
    run_server "$((54320 + RANDOM % 10000))" 9>&-
    flock -u 9
    {
        echo "MEDLANTIS_TEST_PG_SOCKET=$dir"
        echo "MEDLANTIS_TEST_PG_PORT=$port"
        echo "MEDLANTIS_TEST_PG_USER=medlantis"
        echo "MEDLANTIS_TEST_PG_PASSWORD=$password"
        echo "MEDLANTIS_TEST_PG_CERT=$dir/server.crt"
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
