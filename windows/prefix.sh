#!/usr/bin/env bash
# Builds, once, what the Windows programs link: Qt (Core, Gui, Widgets, Test and the windows
# platform plugin), zlib and libpng, all from Debian's source packages, statically, into a prefix
# outside the clone that later runs and other clones on this machine reuse. The prefix is named
# after the versions and this script's own commands (its comments aside), so a change of options
# builds a new one. Prints the prefix's path on its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

qt_version=6.4.2+dfsg-10 zlib_version=1:1.2.13.dfsg-1 png_version=1.6.39-2+deb12u5
key=$(cat "$0" "$here/toolchain.cmake" | grep -v '^ *#' | sha256sum | cut -c1-12)
cache=${TESSORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessora}
prefix=$cache/windows-qt6.4.2-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

jobs=$(nproc)
work=$cache/windows-build-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
export TESSORA_WINDOWS_PREFIX=$prefix
step() { echo "windows: $* ($(date +%H:%M:%S))" >&2; }

step "fetching the sources of qt6-base, zlib and libpng1.6 from Debian"
apt-get source -q "qt6-base=$qt_version" "zlib=$zlib_version" "libpng1.6=$png_version" >fetch.log 2>&1 ||
    { cat fetch.log >&2; exit 1; }

common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix")

step "building zlib"
# Debian's +dfsg tarball has no win32 folder, so only the static library is built, and installed
# by hand.
cmake -S zlib-1.2.13.dfsg -B zlib-build "${common[@]}" >zlib.log 2>&1 &&
    cmake --build zlib-build -j "$jobs" --target zlibstatic >>zlib.log 2>&1 || { tail -40 zlib.log >&2; exit 1; }
mkdir -p "$prefix/include" "$prefix/lib"
cp zlib-1.2.13.dfsg/zlib.h zlib-build/zconf.h "$prefix/include/"
cp zlib-build/libzlibstatic.a "$prefix/lib/libz.a"

step "building libpng"
cmake -S libpng1.6-1.6.39 -B png-build "${common[@]}" -DPNG_SHARED=OFF -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_ROOT="$prefix" -DZLIB_LIBRARY="$prefix/lib/libz.a" \
    >png.log 2>&1 &&
    cmake --build png-build -j "$jobs" >>png.log 2>&1 &&
    cmake --install png-build >>png.log 2>&1 || { tail -40 png.log >&2; exit 1; }

step "configuring Qt (about a minute)"
# The +dfsg tarball lacks wintab, hence no tablet events; OpenGL is switched off through its
# input, which also switches off dynamic GL.
cmake -S qt6-base-6.4.2+dfsg -B qt-build "${common[@]}" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF \
    -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF -DFEATURE_pkg_config=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    >qt-configure.log 2>&1 || { tail -60 qt-configure.log >&2; exit 1; }

step "building Qt (15 to 35 minutes on two cores)"
cmake --build qt-build -j "$jobs" >qt-build.log 2>&1 || { grep -B5 -A20 -m3 'error' qt-build.log >&2 || tail -60 qt-build.log >&2; exit 1; }
cmake --install qt-build >qt-install.log 2>&1 || { tail -40 qt-install.log >&2; exit 1; }

touch "$prefix/.complete"
cd /
rm -rf "$work"
step "Qt for Windows is in $prefix"
echo "$prefix"
