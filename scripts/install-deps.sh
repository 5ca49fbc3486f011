#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: installs only what is missing.
#   (no option)  the Linux build, its tests and the 64-bit Windows cross build
#   --demo       only what `make demo` needs
#   --windows    both Windows cross builds, Wine for their tests and Xvfb for the editor's (adds the
#                i386 architecture; wine32 is best effort, the 32-bit tests are skipped without it)
#   --checks     the sanitizer, fuzzing and memcheck runs (clang with its runtimes, valgrind)
set -euo pipefail

packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libx11-dev libfreetype-dev
  libfontconfig1-dev libcurl4-openssl-dev libsndfile1-dev libgtest-dev libbenchmark-dev
  fonts-liberation g++-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev xvfb xdotool)
optional=()
case "${1:-}" in
  --demo)
    packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libx11-dev
      libfreetype-dev libfontconfig1-dev libcurl4-openssl-dev libsndfile1-dev fonts-liberation) ;;
  --windows)
    packages=(cmake g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev dpkg-dev googletest
      binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb)
    optional=(wine32:i386) ;;
  --checks)
    packages=(clang libclang-rt-14-dev valgrind) ;;
esac

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
missing_optional=()
for p in "${optional[@]}"; do installed "$p" || missing_optional+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

if [ ${#missing_optional[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]} ${missing_optional[*]}"
$sudo apt-get update -qq
[ ${#missing[@]} -eq 0 ] || $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
if [ ${#missing_optional[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing_optional[@]}" ||
    echo "Could not install ${missing_optional[*]}; the 32-bit Windows tests will be skipped." >&2
fi
exit 0
