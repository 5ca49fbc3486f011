#!/usr/bin/env bash
# Cross-builds a static libpng for a mingw-w64 target from Debian's own source package,
# since Debian ships none. The result is cached in .deps/<triplet>; reruns are instant.
# Usage: build-mingw-libpng.sh x86_64-w64-mingw32 | i686-w64-mingw32
set -euo pipefail
triplet=${1:?triplet}
root=$(cd "$(dirname "$0")/.." && pwd)
prefix="$root/.deps/$triplet"
[ -f "$prefix/lib/libpng.a" ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if ! ls /etc/apt/sources.list.d/tessaron-src.sources >/dev/null 2>&1; then
  $sudo tee /etc/apt/sources.list.d/tessaron-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  $sudo apt-get update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq --download-only libpng1.6 >/dev/null && dpkg-source -x --skip-patches libpng1.6_*.dsc src >/dev/null)
cat > "$work/toolchain.cmake" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER $triplet-gcc-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
cmake -S "$work/src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON \
  -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triplet/include >/dev/null
cmake --build "$work/build" -j2 >/dev/null
cmake --install "$work/build" >/dev/null
# Some versions name the archive libpng16.a only.
[ -f "$prefix/lib/libpng.a" ] || cp "$prefix/lib/libpng16.a" "$prefix/lib/libpng.a"
echo "libpng for $triplet in $prefix"
