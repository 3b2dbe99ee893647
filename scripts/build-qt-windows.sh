#!/usr/bin/env bash
# Builds a static Qt for Windows (x86-64) on this Linux machine, for fabricor.exe: qtbase from
# Debian's qt6-base source package (with Debian's patches), at the version of the host Qt, whose
# moc, rcc and uic the cross build uses (QT_HOST_PATH=/usr). Only what the program uses: Core,
# Gui, Widgets, Test, the Windows platform plugin and the offscreen one for the tests; no SQL,
# no network, no D-Bus, no OpenGL, no examples and no tests of Qt's own.
#
# Everything lives outside the clone, in ${XDG_CACHE_HOME:-$HOME/.cache}/fabricor/:
#   qt-<version>-mingw-w64-static   the installed Qt (what the windows preset finds)
#   qt-<version>-src, qt-<version>-build   the source and the build folder (removable)
# A Qt already installed for the host Qt's version is reused; an interrupted build resumes.
# Takes about 20 minutes with two cores, 2.2 GB of build folder and 100 MB installed.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

bash scripts/install-deps.sh
# The host Qt's tools and CMake packages (Qt6HostInfo) come with these.
for package in qt6-base-dev qt6-base-dev-tools; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || {
        echo "build-qt-windows: $package is not installed" >&2
        exit 1
    }
done

debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
version=${debian_version%%+*}
version=${version%%-*}
cache="${XDG_CACHE_HOME:-$HOME/.cache}/fabricor"
prefix="$cache/qt-$version-mingw-w64-static"
source_dir="$cache/qt-$version-src"
build_dir="$cache/qt-$version-build"
stamp="$prefix/fabricor-qt-build"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$debian_version" ]; then
    echo "Qt $version for Windows is already in $prefix"
    exit 0
fi

jobs=${FABRICOR_QT_JOBS:-$(nproc)}
mkdir -p "$cache"

# Debian's source of qt6-base at the host Qt's version; apt knows Debian's sources from the entry
# scripts/install-deps.sh added.
if [ ! -f "$source_dir/unpacked" ] || [ "$(cat "$source_dir/unpacked")" != "$debian_version" ]; then
    echo "== Fetching qt6-base $debian_version's source into $source_dir"
    rm -rf "$source_dir"
    mkdir -p "$source_dir"
    (cd "$source_dir" && apt-get source -qq "qt6-base=$debian_version" >/dev/null) || {
        echo "build-qt-windows: cannot fetch the source package qt6-base=$debian_version" >&2
        exit 1
    }
    echo "$debian_version" >"$source_dir/unpacked"
fi
qtbase=$(find "$source_dir" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[ -n "$qtbase" ] && [ -f "$qtbase/CMakeLists.txt" ] || {
    echo "build-qt-windows: no unpacked qt6-base in $source_dir" >&2
    exit 1
}

# The toolchain file stays with the installed Qt: its qt-cmake chain-loads it.
mkdir -p "$prefix"
rm -f "$stamp"
toolchain="$prefix/mingw-w64-x86_64.cmake"
cat >"$toolchain" <<'EOF'
# MinGW-w64 (x86-64, POSIX threads) as Debian installs it; programs run on the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

echo "== Configuring Qt $version for Windows in $build_dir"
configure_started=$(date +%s)
mkdir -p "$build_dir"
# OpenGL off needs INPUT_opengl=no (what -no-opengl sets): FEATURE_opengl alone leaves the
# dynamic-GL parts of the Windows plugin on. Direct2D stays (the plugin's DirectWrite font
# database needs it). The +dfsg source has no wintab, so no tablet events.
cmake -S "$qtbase" -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_androiddeployqt=OFF -DFEATURE_direct2d1_1=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF \
    >"$build_dir/configure.log" 2>&1 || {
    tail -n 40 "$build_dir/configure.log" >&2
    echo "build-qt-windows: configuring Qt failed (log: $build_dir/configure.log)" >&2
    exit 1
}
echo "   configured in $(($(date +%s) - configure_started)) s"

echo "== Building Qt with $jobs jobs (log: $build_dir/build.log)"
build_started=$(date +%s)
cmake --build "$build_dir" -j "$jobs" >"$build_dir/build.log" 2>&1 || {
    grep -n -m 20 -E 'error|FAILED' "$build_dir/build.log" >&2 || true
    echo "build-qt-windows: building Qt failed (log: $build_dir/build.log)" >&2
    exit 1
}
echo "   built in $(($(date +%s) - build_started)) s"
cmake --install "$build_dir" >"$build_dir/install.log" 2>&1 || {
    tail -n 20 "$build_dir/install.log" >&2
    echo "build-qt-windows: installing Qt failed" >&2
    exit 1
}
echo "$debian_version" >"$stamp"

elapsed=$(($(date +%s) - started))
echo "Qt $version for Windows installed in $prefix ($(du -sh "$prefix" | cut -f1)) in $((elapsed / 60)) min $((elapsed % 60)) s"
echo "The build folder $build_dir ($(du -sh "$build_dir" | cut -f1)) may be removed."
