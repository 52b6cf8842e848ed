#!/usr/bin/env bash
# Creates the user and the database that a practice's workstations share on
# this machine's PostgreSQL server (Debian's postgresql package), and prints
# the address to type into Network Settings on every desk.
#
#   sudo bash tools/create-practice-database.sh [database] [user]
#
# The password is asked for (or taken from MEDLANTIS_DB_PASSWORD). Only its
# SCRAM verifier, computed here by build/medlantis-scram-verifier, goes to the
# server. The tables are created by the first workstation that connects.
set -euo pipefail

database=${1:-medlantis}
user=${2:-medlantis}
case "$database$user" in
*[!A-Za-z0-9_]*)
    echo "Use letters, digits and _ only in the database and user names." >&2
    exit 2
    ;;
esac

if ! command -v psql >/dev/null 2>&1 || ! id postgres >/dev/null 2>&1; then
    echo "PostgreSQL is not installed here: sudo apt-get install postgresql" >&2
    exit 1
fi

verifier_tool=${MEDLANTIS_SCRAM_VERIFIER:-$(dirname "$0")/../build/medlantis-scram-verifier}
if [ ! -x "$verifier_tool" ]; then
    echo "Build the program first (bash tools/setup.sh): this needs $verifier_tool." >&2
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

set_role_password "$user" "$password"
if ! as_postgres psql -tAq -c "SELECT 1 FROM pg_database WHERE datname = '$database'" | grep -q 1; then
    as_postgres createdb --owner="$user" --encoding=UTF8 --template=template0 "$database"
fi

host=$(hostname -f 2>/dev/null || hostname)
port=$(as_postgres psql -tAq -c "SHOW port")
ssl=$(as_postgres psql -tAq -c "SHOW ssl")
cat <<EOF
The database "$database" and its user "$user" are ready.

On every workstation, in Network Settings:
    Database File:  postgresql://$user@$host:$port/$database
    Password:       the password you just typed
The workstations connect encrypted (TLS) with the sign-in bound to it.

So that the workstations can reach this server, in /etc/postgresql/*/main/:
    postgresql.conf:  listen_addresses = '*'
    pg_hba.conf:      hostssl  $database  $user  192.168.1.0/24  scram-sha-256
                      (your practice's own network in place of 192.168.1.0/24)
and then:  sudo systemctl restart postgresql
EOF
if [ "$ssl" != "on" ]; then
    cat <<EOF

This server's ssl is off: the workstations will refuse it. Turn it on in
postgresql.conf (ssl = on, with ssl_cert_file and ssl_key_file) and restart.
EOF
fi
