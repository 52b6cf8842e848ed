#!/usr/bin/env bash
# Creates the user and the database that a practice's workstations share on
# this machine's PostgreSQL server (Debian's postgresql package), and prints
# the address to type into Network Settings on every desk.
#
#   sudo bash tools/create-practice-database.sh [database] [user]
#
# The password is asked for (or taken from MEDLANTIS_DB_PASSWORD). The tables
# are created by the first workstation that connects.
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
quoted=${password//\'/\'\'}

as_postgres() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        sudo -u postgres "$@"
    fi
}

as_postgres psql -v ON_ERROR_STOP=1 -q <<SQL
DO \$\$
BEGIN
    IF EXISTS (SELECT FROM pg_roles WHERE rolname = '$user') THEN
        ALTER ROLE "$user" LOGIN PASSWORD '$quoted';
    ELSE
        CREATE ROLE "$user" LOGIN PASSWORD '$quoted';
    END IF;
END
\$\$;
SQL
if ! as_postgres psql -tAq -c "SELECT 1 FROM pg_database WHERE datname = '$database'" | grep -q 1; then
    as_postgres createdb --owner="$user" --encoding=UTF8 --template=template0 "$database"
fi

host=$(hostname -f 2>/dev/null || hostname)
port=$(as_postgres psql -tAq -c "SHOW port")
cat <<EOF
The database "$database" and its user "$user" are ready.

On every workstation, in Network Settings:
    Database File:  postgresql://$user@$host:$port/$database
    Password:       the password you just typed

So that the workstations can reach this server, in /etc/postgresql/*/main/:
    postgresql.conf:  listen_addresses = '*'
    pg_hba.conf:      host  $database  $user  192.168.1.0/24  scram-sha-256
                      (your practice's own network in place of 192.168.1.0/24)
and then:  sudo systemctl restart postgresql
EOF
