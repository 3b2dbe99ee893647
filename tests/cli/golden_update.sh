#!/usr/bin/env bash
# fabricor-cli, the Linux program or the Windows one under Wine, builds and updates a copy of the
# golden project: bank1.bin, bankg.c and New_SX30418.sx must equal the golden files byte for
# byte, which the Linux build made. Passing in both builds shows they give the same bytes.
#   golden_update.sh GOLDEN_FOLDER PROGRAM [RUNNER...]
# With a runner (wine64) the paths handed to the program are Windows paths (Z: is /).
set -euo pipefail
golden="$1"
program="$2"
shift 2
runner=("$@")

work="$(mktemp -d "${TMPDIR:-/tmp}/fabricor-golden-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Pumpstation/bin" "$work/MASTER"
cp "$golden/project/pargen.xml" "$golden/project/var.xml" "$work/Pumpstation/"
cp "$golden/SX30418.sx" "$work/MASTER/"

native() {
    if [ ${#runner[@]} -gt 0 ]; then
        local path="$1"
        printf 'Z:%s' "${path//\//\\}"
    else
        printf '%s' "$1"
    fi
}

"${runner[@]}" "$program" update "$(native "$work/Pumpstation")" \
    --master "$(native "$work/MASTER")" --time 2026-12-08T14:35:47 >"$work/out.txt" 2>&1 || {
    echo "fabricor-cli update failed:" >&2
    cat "$work/out.txt" >&2
    exit 1
}

status=0
for pair in "bank1.bin:Pumpstation/bin/bank1.bin" "bankg.c:Pumpstation/bin/bankg.c" \
    "New_SX30418.sx:Pumpstation/New_SX30418.sx"; do
    name="${pair%%:*}"
    made="$work/${pair#*:}"
    if cmp "$golden/$name" "$made"; then
        echo "$name: identical to the golden file ($(stat -c %s "$made") bytes)"
    else
        status=1
    fi
done
exit $status
