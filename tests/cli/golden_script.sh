# Sourced by the command-line scripts that compare fabricor-cli's output with the golden files:
#   SCRIPT GOLDEN_FOLDER PROGRAM [RUNNER...]
# With a runner (wine64) the paths handed to the program are Windows paths (Z: is /).
# Sets golden, program, runner, work (a temporary folder, removed at the end) and status.
set -euo pipefail
golden="$1"
program="$2"
shift 2
runner=("$@")

work="$(mktemp -d "${TMPDIR:-/tmp}/fabricor-golden-XXXXXX")"
trap 'rm -rf "$work"' EXIT
status=0

native() {
    if [ ${#runner[@]} -gt 0 ]; then
        local path="$1"
        printf 'Z:%s' "${path//\//\\}"
    else
        printf '%s' "$1"
    fi
}

# Copies the golden project's documents to PROJECT and the base firmware to MASTER.
golden_project() {
    mkdir -p "$1/bin" "$2"
    cp "$golden/project/pargen.xml" "$golden/project/var.xml" "$1/"
    cp "$golden/SX30418.sx" "$2/"
}

# run WHAT ARGUMENTS...: fabricor-cli must succeed; its output is in $work/out.txt.
run() {
    local what="$1"
    shift
    if ! "${runner[@]}" "$program" "$@" >"$work/out.txt" 2>&1; then
        echo "fabricor-cli $what failed:" >&2
        cat "$work/out.txt" >&2
        exit 1
    fi
}

# same GOLDEN MADE WHAT: the file made equals the golden one byte for byte.
same() {
    if cmp "$1" "$2"; then
        echo "$3: identical to the golden file ($(stat -c %s "$2") bytes)"
    else
        status=1
    fi
}
