#!/usr/bin/env bash
# tools/create-practice-database.sh on the tests' database server, as an
# administrator runs it: a new practice database comes out owned by its owner
# role with the workstations' role allowed only to read and add trail rows;
# a second run (after an update) changes nothing; a database that an older
# version set up, owned by the workstations' role, is taken over by the owner
# and gains what it lacks. Needs root (the script runs psql as postgres) and
# the MEDLANTIS_TEST_PG_* variables of tools/test.sh; 77 (skipped) otherwise.
set -euo pipefail
source_dir=$1
script=$source_dir/tools/create-practice-database.sh

if [ "$(id -u)" -ne 0 ] || [ -z "${MEDLANTIS_TEST_PG_PORT:-}" ] || ! id postgres >/dev/null 2>&1; then
    echo "needs root, the postgres user and the tests' database server" >&2
    exit 77
fi
export PGHOST=$MEDLANTIS_TEST_PG_SOCKET PGPORT=$MEDLANTIS_TEST_PG_PORT
export PGUSER=$MEDLANTIS_TEST_PG_USER PGPASSWORD=$MEDLANTIS_TEST_PG_PASSWORD PGDATABASE=postgres
tag=$$
db=practice_$tag desk=desk_$tag old=old_$tag olddesk=olddesk_$tag
sql() { psql -v ON_ERROR_STOP=1 -qtA "$@"; }
cleanup() {
    for d in "$db" "$old"; do sql -c "DROP DATABASE IF EXISTS $d WITH (FORCE)" || true; done
    for r in "$desk" "${db}_owner" "$olddesk" "${old}_owner"; do
        sql -c "DROP ROLE IF EXISTS $r" || true
    done
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

MEDLANTIS_DB_PASSWORD=deskpass-$tag bash "$script" "$db" "$desk" >/dev/null
MEDLANTIS_DB_PASSWORD=deskpass-$tag bash "$script" "$db" "$desk" >/dev/null \
    || fail "a second run failed"
[ "$(sql -c "SELECT rolcanlogin FROM pg_roles WHERE rolname = '${db}_owner'")" = f ] \
    || fail "the owner can sign in"
owners=$(sql -d "$db" -c "SELECT DISTINCT pg_get_userbyid(relowner) FROM pg_class
                          WHERE relnamespace = 'public'::regnamespace")
[ "$owners" = "${db}_owner" ] || fail "the tables belong to: $owners"
as_desk() { PGUSER=$desk PGPASSWORD=deskpass-$tag sql -d "$db" -c "$1" 2>&1; }
as_desk 'INSERT INTO "AuditTrail" ("AuditID", "Action") VALUES (1, '"'Add'"')' >/dev/null \
    || fail "the desks cannot add a trail row"
as_desk 'UPDATE "PatientRecords" SET "City" = NULL' >/dev/null || fail "the desks cannot save"
for refused in 'UPDATE "AuditTrail" SET "Action" = NULL' 'DELETE FROM "AuditTrail"' \
    'CREATE TABLE "Other" (id bigint)' 'ALTER TABLE "Users" ADD COLUMN "X" text'; do
    if out=$(as_desk "$refused"); then
        fail "the desks may: $refused"
    fi
    case "$out" in
    *"permission denied"* | *"must be owner"*) ;;
    *) fail "$refused failed otherwise: $out" ;;
    esac
done

sql -c "CREATE ROLE $olddesk LOGIN PASSWORD 'oldpass-$tag'" -c "CREATE DATABASE $old OWNER $olddesk"
PGUSER=$olddesk PGPASSWORD=oldpass-$tag sql -d "$old" \
    -c 'CREATE TABLE "AuditTrail" ("AuditID" bigint PRIMARY KEY, "EventDate" text)'
MEDLANTIS_DB_PASSWORD=oldpass-$tag bash "$script" "$old" "$olddesk" >/dev/null
[ "$(sql -d "$old" -c "SELECT pg_get_userbyid(relowner) FROM pg_class WHERE relname = 'AuditTrail'")" \
    = "${old}_owner" ] || fail "the older database's trail was not taken over"
[ "$(sql -d "$old" -c "SELECT count(*) FROM information_schema.columns
                       WHERE table_name = 'AuditTrail' AND column_name = 'Seal'")" = 1 ] \
    || fail "the older database's trail gained no seal"
echo "ok"
