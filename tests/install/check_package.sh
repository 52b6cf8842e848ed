#!/usr/bin/env bash
# cpack builds medlantis_<version>_<arch>.deb holding exactly the installed
# files, with dependencies worked out from the linked libraries.
# Usage: check_package.sh <build dir> <version>
source "$(dirname "$0")/common.sh"
build="$1"
version="$2"
need cpack dpkg-deb dpkg-shlibdeps

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$stage/out" >"$stage/cpack.log" 2>&1 \
    || { cat "$stage/cpack.log" >&2; fail "cpack -G DEB"; }
deb="$stage/out/medlantis_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$stage/out")"

listed="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort)"
diff -u <(expected_files) <(echo "$listed") || fail "the package's files differ"

[ "$(dpkg-deb -f "$deb" Package)" = "medlantis" ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version field"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6 libqt6gui6 libqt6printsupport6 libsqlcipher libxlsxwriter \
    libsodium; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
echo "package $(basename "$deb"): ok"
