#!/usr/bin/env bash
# Creates, or brings up to this version, the database that a practice's
# workstations share on this machine's PostgreSQL server (Debian's postgresql
# package), and prints the address to type into Network Settings on every desk.
#
#   sudo bash tools/create-practice-database.sh [database] [user] [owner]
#
# Two roles: the owner (default "<database>_owner") holds the database and its
# tables and cannot sign in, so no workstation ever uses it; the workstations'
# user may read and write the records and accounts but may only read and add
# audit trail rows, and may change no table's definition. The tables are made
# here, as the owner, from the SQL that build/medlantis-server-schema writes;
# run the script again after an update of Medlantis and it adds what the new
# version needs. The user's password is asked for (or taken from
# MEDLANTIS_DB_PASSWORD). Only its SCRAM verifier, computed here by
# build/medlantis-scram-verifier, goes to the server.
set -euo pipefail

database=${1:-medlantis}
user=${2:-medlantis}
owner=${3:-${database}_owner}
case "$database$user$owner" in
*[!A-Za-z0-9_]*)
    echo "Use letters, digits and _ only in the database, user and owner names." >&2
    exit 2
    ;;
esac
if [ "$user" = "$owner" ]; then
    echo "The workstations' user and the owner must be two different roles." >&2
    exit 2
fi

if ! command -v psql >/dev/null 2>&1 || ! id postgres >/dev/null 2>&1; then
    echo "PostgreSQL is not installed here: sudo apt-get install postgresql" >&2
    exit 1
fi

verifier_tool=${MEDLANTIS_SCRAM_VERIFIER:-$(dirname "$0")/../build/medlantis-scram-verifier}
if [ ! -x "$verifier_tool" ]; then
    echo "Build the program first (bash tools/setup.sh): this needs $verifier_tool." >&2
    exit 1
fi
# The program that writes the schema's SQL: the build's, or the installed one.
schema_tool=${MEDLANTIS_SERVER_SCHEMA:-$(dirname "$0")/../build/medlantis-server-schema}
if [ ! -x "$schema_tool" ] && command -v medlantis-server-schema >/dev/null 2>&1; then
    schema_tool=$(command -v medlantis-server-schema)
fi
if [ ! -x "$schema_tool" ]; then
    echo "Build the program first (bash tools/setup.sh): this needs $schema_tool." >&2
    exit 1
fi

password=${MEDLANTIS_DB_PASSWORD:-}
if [ -z "$password" ]; then
    read -r -s -p "Password for the user $user: " password
    echo
    read -r -s -p "The same password again: " again
    echo
    if [ "$password" != "$again" ]; then
        echo "The passwords differ; nothing was created." >&2
        exit 1
    fi
fi
if [ ${#password} -lt 8 ]; then
    echo "Please choose a password of at least 8 characters; nothing was created." >&2
    exit 1
fi

as_postgres() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        sudo -u postgres "$@"
    fi
}

# Creates the login role <role> with the password <password>, or sets its
# password. The password travels only through a pipe to the helper (printf is
# the shell's own, no process of its own), never on a command line, in SQL
# text or in the server's log; the server is sent the verifier alone.
set_role_password() {
    local role=$1 verifier verb=CREATE
    verifier=$(printf '%s' "$2" | "$verifier_tool" "$role")
    # SCRAM-SHA-256$<iterations>:<salt>$<stored key>:<server key>, in base64.
    local b64='[A-Za-z0-9+/=]+'
    if ! [[ $verifier =~ ^SCRAM-SHA-256\$[0-9]+:$b64\$$b64:$b64$ ]]; then
        echo "The password's verifier could not be computed; nothing was changed." >&2
        exit 1
    fi
    if as_postgres psql -tAq -c "SELECT 1 FROM pg_roles WHERE rolname = '$role'" | grep -q 1; then
        verb=ALTER
    fi
    printf "%s ROLE \"%s\" LOGIN PASSWORD '%s';\n" "$verb" "$role" "$verifier" |
        as_postgres psql -v ON_ERROR_STOP=1 -q
}

# The owner holds everything and cannot sign in at all.
make_owner_role() {
    as_postgres psql -v ON_ERROR_STOP=1 -q <<SQL
DO \$\$
BEGIN
    IF EXISTS (SELECT FROM pg_roles WHERE rolname = '$owner') THEN
        ALTER ROLE "$owner" NOLOGIN;
    ELSE
        CREATE ROLE "$owner" NOLOGIN;
    END IF;
END
\$\$;
SQL
}

# A database set up by an older version belongs to the workstations' user:
# the owner takes it and its tables over.
make_database() {
    if ! as_postgres psql -tAq -c "SELECT 1 FROM pg_database WHERE datname = '$database'" \
        | grep -q 1; then
        as_postgres createdb --owner="$owner" --encoding=UTF8 --template=template0 "$database"
        return
    fi
    as_postgres psql -v ON_ERROR_STOP=1 -q -d "$database" <<SQL
ALTER DATABASE "$database" OWNER TO "$owner";
DO \$\$
DECLARE
    r record;
BEGIN
    FOR r IN SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
             WHERE n.nspname = 'public' AND c.relkind IN ('r', 'p', 'S')
               AND pg_get_userbyid(c.relowner) = '$user' LOOP
        EXECUTE format('ALTER TABLE %I OWNER TO %I', r.relname, '$owner');
    END LOOP;
END
\$\$;
SQL
}

# The tables and what this version adds to them, as the owner, in one go.
apply_schema() {
    "$schema_tool" "$owner" "$user" |
        as_postgres psql -v ON_ERROR_STOP=1 -q --single-transaction -d "$database"
}

make_owner_role
set_role_password "$user" "$password"
make_database
apply_schema

host=$(hostname -f 2>/dev/null || hostname)
port=$(as_postgres psql -tAq -c "SHOW port")
ssl=$(as_postgres psql -tAq -c "SHOW ssl")
cat <<EOF
The database "$database" (owned by "$owner") and its user "$user" are ready.

On every workstation, in Network Settings:
    Database File:  postgresql://$user@$host:$port/$database
    Password:       the password you just typed
The workstations connect encrypted (TLS) with the sign-in bound to it.

So that the workstations can reach this server, in /etc/postgresql/*/main/:
    postgresql.conf:  listen_addresses = '*'
    pg_hba.conf:      hostssl  $database  $user  192.168.1.0/24  scram-sha-256
                      (your practice's own network in place of 192.168.1.0/24)
and then:  sudo systemctl restart postgresql

After each update of Medlantis, run this script again: it adds what the new
version needs to the tables (workstations cannot change them themselves).
EOF
if [ "$ssl" != "on" ]; then
    cat <<EOF

This server's ssl is off: the workstations will refuse it. Turn it on in
postgresql.conf (ssl = on, with ssl_cert_file and ssl_key_file) and restart.
EOF
fi
