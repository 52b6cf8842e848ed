#!/usr/bin/env bash
# The include order holds on the tree, and the check catches a file made to
# include upward: a shell file reaching a window and a window reaching the
# main window, each named with its file and line.
set -euo pipefail
source_dir=$1
check=$source_dir/tools/check-layers.sh

bash "$check" "$source_dir/src" >/dev/null || {
    echo "FAIL: the tree itself breaks the include order:" >&2
    bash "$check" "$source_dir/src" >&2 || true
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/src" "$work/src"
printf '#include "shell/Form.h"\n#include "users/Form1.h"\n' >>"$work/src/shell/Form.cpp"
line=$(wc -l <"$work/src/shell/Form.cpp")
printf '#include "app/MDIFormMain.h"\n' >>"$work/src/patients/frmPatientList.cpp"
window_line=$(wc -l <"$work/src/patients/frmPatientList.cpp")

if out=$(bash "$check" "$work/src" 2>&1); then
    echo "FAIL: upward includes passed the check" >&2
    exit 1
fi
for expected in "shell/Form.cpp:$line:" "patients/frmPatientList.cpp:$window_line:"; do
    grep -qF "$expected" <<<"$out" || {
        echo "FAIL: the check did not name $expected; it said:" >&2
        echo "$out" >&2
        exit 1
    }
done
if grep -qF "shell/Form.cpp:$((line - 1)):" <<<"$out"; then
    echo "FAIL: an include of the file's own folder was reported" >&2
    exit 1
fi
echo "ok: the include order holds and upward includes are named"
