#!/usr/bin/env bash
# Builds the Windows programs on this Linux machine (MinGW-w64, the `windows` preset, into
# build-windows/) and runs their tests under Wine: the core, fabricor-cli.exe, Progwerk.exe
# without its window and the sample firmware generator. Installs what is missing first
# (scripts/install-deps.sh: the cross compilers, wine64, Debian's sources of pugixml and libcsv).
# Wine runs quietly in a prefix of its own, made anew by each run in build-windows/wine-prefix
# and shut down at the end. In that prefix COM7 and COM8 are the two ends of a socat
# pseudo-terminal pair, so the flash tool sends to a real serial line under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== Windows build (MinGW-w64) into build-windows"
cmake --preset windows >/dev/null
cmake --build --preset windows

prefix="$PWD/build-windows/wine-prefix"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64)"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
socat_pid=""
stop_wine() {
    "$wineserver" -k >/dev/null 2>&1 || true
    [ -z "$socat_pid" ] || kill "$socat_pid" 2>/dev/null || true
}
trap stop_wine EXIT

echo "== Tests of the Windows build under Wine ($("$wine" --version))"
stop_wine
rm -rf "$prefix"
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w

lines="$PWD/build-windows/com-lines"
rm -rf "$lines"
mkdir -p "$lines"
socat pty,raw,echo=0,link="$lines/com7" pty,raw,echo=0,link="$lines/com8" 2>/dev/null &
socat_pid=$!
for _ in $(seq 100); do
    [ -e "$lines/com7" ] && [ -e "$lines/com8" ] && break
    sleep 0.1
done
ln -sfn "$(readlink -f "$lines/com7")" "$prefix/dosdevices/com7"
ln -sfn "$(readlink -f "$lines/com8")" "$prefix/dosdevices/com8"

# One wineserver for the whole run instead of one per test program.
"$wineserver" -p
ctest --preset windows
