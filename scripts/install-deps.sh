#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian 12's packages.
# Only what is missing is installed; with sudo when not root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev libgl-dev libpugixml-dev libcsv-dev libgtest-dev googletest
    fonts-dejavu-core fonts-dejavu-extra
    srecord socat xvfb xauth imagemagick
    libmodbus-dev libssl-dev
    clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
