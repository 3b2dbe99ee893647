#!/usr/bin/env bash
# The Windows programs themselves under Wine: each answers --help with status 0 and refuses an
# unknown option with status 2 without writing anything beside itself; fabricor-cli has its
# gateway (tests/gateway/windows_gateway.py serves through it); the sample firmware generator writes a firmware, and
# refuses to replace one.
#   windows_programs.sh APP_FOLDER WINE
set -uo pipefail
source_app="$1"
wine="$2"

work="$(mktemp -d "${TMPDIR:-/tmp}/fabricor-windows-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/out"
for program in fabricor-cli.exe Progwerk.exe fabricor-sample-firmware.exe; do
    cp "$source_app/$program" "$work/app/" || exit 1
done
before="$(cd "$work/app" && ls -A)"
failures=0

# expect STATUS TEXT PROGRAM [ARGUMENT...]: TEXT in stdout for status 0, in stderr otherwise.
expect() {
    local status="$1" text="$2" program="$3"
    shift 3
    (cd "$work/out" && "$wine" "$work/app/$program" "$@" >stdout.txt 2>stderr.txt)
    local got=$?
    local where="$work/out/stdout.txt"
    [ "$status" -eq 0 ] || where="$work/out/stderr.txt"
    if [ "$got" -ne "$status" ] || ! grep -qF -- "$text" "$where"; then
        echo "FAILED: $program $* gave status $got (expected $status and '$text')"
        sed 's/^/  stdout: /' "$work/out/stdout.txt"
        sed 's/^/  stderr: /' "$work/out/stderr.txt"
        failures=$((failures + 1))
    else
        echo "ok: $program $* -> $got"
    fi
}

expect 0 "Usage: fabricor-cli COMMAND" fabricor-cli.exe --help
expect 2 "unknown option '--bogus'" fabricor-cli.exe --bogus
expect 0 "Usage: fabricor-cli update" fabricor-cli.exe update --help
expect 0 "e.g. COM3" fabricor-cli.exe gateway --help
expect 0 "Usage: Progwerk.exe" Progwerk.exe --help
expect 2 "unknown option '--bogus'" Progwerk.exe --bogus
expect 2 "expects one argument" Progwerk.exe
expect 0 "Usage: fabricor-sample-firmware" fabricor-sample-firmware.exe --help
expect 2 "Usage: fabricor-sample-firmware" fabricor-sample-firmware.exe --bogus

windows_target="Z:${work//\//\\}\\out\\SX30418.sx"
expect 0 "" fabricor-sample-firmware.exe "$windows_target"
if ! head -c 2 "$work/out/SX30418.sx" | grep -q S0; then
    echo "FAILED: the sample firmware does not start with an S0 record"
    failures=$((failures + 1))
fi
printf 'a real firmware' >"$work/out/SX30418.sx"
expect 1 "" fabricor-sample-firmware.exe "$windows_target"
if [ "$(cat "$work/out/SX30418.sx")" != "a real firmware" ]; then
    echo "FAILED: the sample firmware generator replaced a firmware"
    failures=$((failures + 1))
fi

# Progwerk.exe without a valid argument writes its log; nothing else may appear.
after="$(cd "$work/app" && ls -A | grep -vx 'Progwerk.log')"
if [ "$after" != "$before" ]; then
    echo "FAILED: the programs wrote beside themselves: $after"
    failures=$((failures + 1))
fi
exit $((failures > 0))
