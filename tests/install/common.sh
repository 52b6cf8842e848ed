# Shared by the install checks: a staging folder removed at exit, an install
# of the build into it under /usr, and the list of files a package must hold.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
stage="$(mktemp -d)"
cleanups=("rm -rf '$stage'")
on_exit() {
    local i
    for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}" || true; done
}
trap on_exit EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# install_into <build dir> <root>: cmake --install with /usr as prefix.
install_into() {
    DESTDIR="$2" cmake --install "$1" --prefix /usr >/dev/null
}

# Regular files and links under a root, relative and sorted.
files_under() {
    (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
}

expected_files() {
    LC_ALL=C sort "$here/installed-files.txt"
}

# need <program>...: the tools that tools/setup.sh installs.
need() {
    local p
    for p in "$@"; do
        command -v "$p" >/dev/null || fail "$p is missing: run tools/setup.sh"
    done
}
