#!/usr/bin/env bash
# Installs what is missing, builds, lays out the application folder build/app and starts the
# program from it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
app=build/app
mkdir -p "$app/MASTER" "$app/PROJECTS"
if [ -x "$app/fabricor-sample-firmware" ] && [ ! -e "$app/MASTER/SX30418.sx" ]; then
    "$app/fabricor-sample-firmware" "$app/MASTER/SX30418.sx"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Firmware Fabricor on a virtual X display (xvfb-run)."
    exec xvfb-run -a "$app/fabricor"
fi
exec "$app/fabricor"
