#!/usr/bin/env bash
# The installed menu entry and metainfo pass their validators and name each
# other, the icon and the program consistently.
# Usage: check_desktop.sh <build dir> <application id>
source "$(dirname "$0")/common.sh"
build="$1"
id="$2"
need desktop-file-validate appstreamcli

root="$stage/root"
install_into "$build" "$root"
desktop="$root/usr/share/applications/$id.desktop"
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"

desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
# The tree as a whole: the launchable's desktop file and the icon are where the
# software centres look.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"

field() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(field Name)" = "Medlantis" ] || fail "Name is '$(field Name)'"
[ -n "$(field Comment)" ] || fail "no Comment"
for category in Office MedicalSoftware; do
    [[ ";$(field Categories)" == *";$category;"* ]] || fail "Categories is '$(field Categories)'"
done
exec_program="$(field Exec | cut -d' ' -f1)"
[ -x "$root/usr/bin/$exec_program" ] || fail "Exec names '$exec_program', not an installed program"
[ "$(field Icon)" = "$id" ] || fail "Icon is '$(field Icon)'"
for size in 16 32 48 64 128 256; do
    [ -s "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" ] \
        || fail "no ${size}x${size} icon"
done
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "the metainfo does not launch $id.desktop"
shots="$(grep -o '<image>[^<]*</image>' "$metainfo" | sed 's|</image>||; s|.*/||' | sort)"
[ -n "$shots" ] || fail "the metainfo shows no screenshots"
for shot in $shots; do
    [ -f "$here/../../docs/$shot" ] || fail "screenshot $shot is not one of the README's"
done
echo "desktop entry and metainfo: ok"
