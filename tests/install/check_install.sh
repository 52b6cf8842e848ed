#!/usr/bin/env bash
# The installed tree holds exactly the program's files; the installed program
# answers --version and --help without a display, and on a fresh home folder
# copies its template from <prefix>/share/medlantis.
# Usage: check_install.sh <build dir> <version>
source "$(dirname "$0")/common.sh"
build="$1"
version="$2"

root="$stage/root"
install_into "$build" "$root"
diff -u <(expected_files) <(files_under "$root") || fail "the installed files differ"
[ -x "$root/usr/bin/medlantis" ] || fail "usr/bin/medlantis is not executable"

home="$stage/home"
mkdir -p "$home" "$stage/run"
chmod 700 "$stage/run"
# A fresh user: nothing but a home folder, no display.
fresh() {
    env -i HOME="$home" PATH="/usr/bin:/bin" XDG_RUNTIME_DIR="$stage/run" "$@"
}

out="$(fresh "$root/usr/bin/medlantis" --version)"
[ "$out" = "Medlantis $version" ] || fail "--version printed '$out'"

help="$(fresh "$root/usr/bin/medlantis" --help)"
flat="$(tr '\n' ' ' <<<"$help")"
for part in "Medlantis $version" "medical practice" "$home/.local/share/Trevanto/Medlantis" \
    "$home/.config/Trevanto/Trevanto.ini"; do
    [[ "$flat" == *"$part"* ]] || fail "--help does not mention '$part': $help"
done
[ "$(grep -c '^$' <<<"$help")" -eq 0 ] || fail "--help is more than one paragraph: $help"
[ ! -e "$home/.local" ] || fail "--help or --version created files in the home folder"

# Started without options, it provisions the per-user database from the
# installed template, then waits in its first window.
# Started straight from here (env execs the program), so $! is the program itself.
env -i HOME="$home" PATH="/usr/bin:/bin" XDG_RUNTIME_DIR="$stage/run" QT_QPA_PLATFORM=offscreen \
    "$root/usr/bin/medlantis" >"$stage/run.log" 2>&1 &
pid=$!
cleanups+=("kill $pid 2>/dev/null; wait $pid 2>/dev/null")
working="$home/.local/share/Trevanto/Medlantis/dbData.mdb"
for _ in $(seq 1 600); do
    [ -s "$working" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$stage/run.log" >&2; fail "the program ended early"; }
    sleep 0.1
done
[ -s "$working" ] || { cat "$stage/run.log" >&2; fail "no working database in $working"; }
cmp -s "$working" "$root/usr/share/medlantis/dbBlank.mdb" \
    || fail "the working database is not a copy of the installed template"
echo "installed tree and template: ok"
