#!/usr/bin/env bash
# Builds, once, FreeType for the Windows tessora-png from Debian's source package, statically,
# into its own prefix beside Qt's, named after the version and this script's commands. Its gzip
# support uses the zlib of Qt's prefix, which tessora-png links too (FreeType's own copy would
# clash with it); bzip2, PNG glyphs, HarfBuzz and Brotli are left out. Takes Qt's prefix;
# prints FreeType's on its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

version=2.12.1+dfsg-5+deb12u4
key=$(grep -v '^ *#' "$0" | sha256sum | cut -c1-12)
cache=${TESSORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessora}
prefix=$cache/windows-freetype-2.12.1-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work=$cache/windows-freetype-build-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
export TESSORA_WINDOWS_PREFIX=$1
echo "windows: building FreeType ($(date +%H:%M:%S))" >&2
apt-get source -q "freetype=$version" >fetch.log 2>&1 || { cat fetch.log >&2; exit 1; }
cmake -S freetype-2.12.1+dfsg -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON \
    -DFT_DISABLE_BROTLI=ON >build.log 2>&1 &&
    cmake --build build -j "$(nproc)" >>build.log 2>&1 &&
    cmake --install build >>build.log 2>&1 || { tail -40 build.log >&2; exit 1; }
touch "$prefix/.complete"
cd /
rm -rf "$work"
echo "$prefix"
