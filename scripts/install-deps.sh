#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian 12's packages.
# Only what is missing is installed; with sudo when not root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev libgl-dev libpugixml-dev libcsv-dev libgtest-dev googletest
    fonts-dejavu-core fonts-dejavu-extra
    srecord socat xvfb xauth imagemagick poppler-utils
    libmodbus-dev libssl-dev mbpoll python3-pymodbus
    clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine64 dpkg-dev
    python3-pymodbus
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Windows build (scripts/test-windows.sh) compiles pugixml, libcsv and libmodbus from Debian's
# source packages for its target, unpacked into build-deps/debian-src/ once (GoogleTest's source comes
# with the googletest package). Fetched only when missing; apt learns where Debian's sources are
# from a source entry of its own.
sources_dir="$(cd "$(dirname "$0")/.." && pwd)/build-deps/debian-src"
source_packages=(pugixml libcsv libmodbus)
wanted=()
for package in "${source_packages[@]}"; do
    [ -f "$sources_dir/$package.unpacked" ] || wanted+=("$package")
done
[ ${#wanted[@]} -eq 0 ] && exit 0

source_entry=/etc/apt/sources.list.d/fabricor-sources.sources
if [ ! -f "$source_entry" ]; then
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: bookworm" \
        "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
        $sudo tee "$source_entry" >/dev/null
    $sudo apt-get update -qq
fi
mkdir -p "$sources_dir"
for package in "${wanted[@]}"; do
    echo "Fetching the source of $package into $sources_dir"
    rm -rf "${sources_dir:?}/$package"
    mkdir -p "$sources_dir/$package"
    (cd "$sources_dir/$package" && apt-get source -qq "$package" >/dev/null 2>&1) || {
        echo "install-deps: cannot fetch the source package $package (apt-get source)" >&2
        exit 1
    }
    touch "$sources_dir/$package.unpacked"
done
