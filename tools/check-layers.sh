#!/usr/bin/env bash
# Lists every #include in the source tree that runs against the order of its
# floors and exits 1 when there is one. The order, top to bottom:
#   app -> users, patients, visits, maintenance -> reports -> shell -> data
# A file may include its own folder and any folder below it; the four window
# folders may also include one another, since windows open other windows.
#
#   tools/check-layers.sh [source folder, default src]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
if [ ! -d "$src" ]; then
    echo "no source folder at $src" >&2
    exit 2
fi

rank() {
    case "$1" in
    app) echo 0 ;;
    users | patients | visits | maintenance) echo 1 ;;
    reports) echo 2 ;;
    shell) echo 3 ;;
    data) echo 4 ;;
    *) echo "" ;;
    esac
}

breaches=0
while IFS= read -r file; do
    rel=${file#"$src"/}
    own=${rel%%/*}
    if [ "$own" = "$rel" ]; then
        echo "$rel: a source file outside the floors (app, users, patients, visits, maintenance, reports, shell, data)"
        breaches=$((breaches + 1))
        continue
    fi
    own_rank=$(rank "$own")
    if [ -z "$own_rank" ]; then
        echo "$rel: the folder $own is not one of the floors"
        breaches=$((breaches + 1))
        continue
    fi
    while IFS=: read -r line target; do
        folder=${target%%/*}
        # A name without a folder is the file's own folder or a generated header.
        [ "$folder" = "$target" ] && continue
        target_rank=$(rank "$folder")
        if [ -z "$target_rank" ]; then
            echo "$rel:$line: includes $target from $folder, which is not one of the floors"
            breaches=$((breaches + 1))
        elif [ "$target_rank" -lt "$own_rank" ]; then
            echo "$rel:$line: $own includes $target from $folder, above it"
            breaches=$((breaches + 1))
        fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
                 sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.in' \) | sort)

if [ "$breaches" -gt 0 ]; then
    echo "$breaches include(s) run against the order app -> windows -> reports -> shell -> data" >&2
    exit 1
fi
echo "Every include runs down the floors."
