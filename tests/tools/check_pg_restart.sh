#!/usr/bin/env bash
# A test server started again while another program holds its kept port moves
# to a free port and writes it into its env file.
set -euo pipefail
script=$1/tools/pg-test-server.sh
dir=$(mktemp -d)
holder=
cleanup() {
    if [ -n "$holder" ]; then
        kill "$holder" 2>/dev/null || true
    fi
    bash "$script" stop "$dir" || true
    rm -rf "$dir"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
port_of() {
    sed -n 's/^MEDLANTIS_TEST_PG_PORT=//p' "$dir/env"
}

bash "$script" start "$dir"
kept=$(port_of)
bash "$script" stop "$dir"
# Another program on the port: it takes every connection and closes it.
perl -MIO::Socket::INET -e 'my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1",
    LocalPort => $ARGV[0], Listen => 16, ReuseAddr => 1) or die "cannot listen: $!";
    alarm 300; while (my $c = $s->accept) { close $c }' "$kept" &
holder=$!
for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$kept") 2>/dev/null; then
        break
    fi
    sleep 0.1
done
(exec 3<>"/dev/tcp/127.0.0.1/$kept") 2>/dev/null || fail "nothing took the port $kept"

bash "$script" start "$dir" || fail "the restart failed while its port was taken"
moved=$(port_of)
[ "$moved" != "$kept" ] || fail "the env file still names the taken port $kept"
pg_isready -q -h 127.0.0.1 -p "$moved" || fail "no server answers on the new port $moved"
echo "restarted on $moved while $kept was taken"
