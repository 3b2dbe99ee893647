#!/usr/bin/env bash
# Makes the packages into build/packages:
#   fabricor_VERSION_amd64.deb                 the programs for Debian 12 (CPack, dependencies
#                                              from dpkg-shlibdeps)
#   fabricor-VERSION-windows-x86_64.zip        the Windows programs (fabricor.exe when the
#                                              static Qt for Windows was there) and
#                                              README-Windows.txt, when the Windows build
#                                              (build-windows) is there
# Builds what is missing first (the development preset into build; build-windows as it is
# configured). Nothing is installed on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build
mkdir -p build/packages
echo "== Debian package (build/packages)"
(cd build && cpack -G DEB)

if [ -f build-windows/CMakeCache.txt ]; then
    echo "== Windows ZIP (build-windows into build/packages)"
    cmake build-windows >/dev/null
    cmake --build build-windows
    (cd build-windows && cpack -G ZIP -B "$PWD/../build/packages")
else
    echo "== No Windows build (build-windows): no ZIP"
fi
rm -rf build/packages/_CPack_Packages
ls -l build/packages
