#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: installs only what is missing.
#   (no option)  the Linux build, its tests and the 64-bit Windows cross build
#   --demo       only what `make demo` and `make install` need
#   --windows    both Windows cross builds, Wine for their tests and Xvfb for the editor's, with
#                32-bit Wine (wine32:i386, adding the i386 architecture) wherever the kernel runs
#                32-bit programs; only a kernel that cannot leaves it out
#   --checks     the sanitizer, fuzzing and memcheck runs (clang with its runtimes, valgrind) and make format
#   --peers      the VST 2 instruments `make bench-peers` measures against (test dependencies only)
set -euo pipefail

packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libx11-dev libfreetype-dev
  libfontconfig1-dev libcurl4-openssl-dev libsndfile1-dev libgtest-dev libbenchmark-dev
  fonts-liberation g++-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev xvfb xdotool
  lv2-dev liblilv-dev lilv-utils sordi)
# Ardour (headless, through its Lua interpreter) renders a note through the LV2 bundle.
packages+=(ardour python3)
case "${1:-}" in
  --demo)
    packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libx11-dev
      libfreetype-dev libfontconfig1-dev libcurl4-openssl-dev libsndfile1-dev fonts-liberation lv2-dev) ;;
  --windows)
    packages=(cmake g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev dpkg-dev googletest
      binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb)
    if bash "$(dirname "$0")/kernel-runs-i386.sh"; then
      packages+=(wine32:i386)
    else
      echo "WARNING: this kernel cannot execute 32-bit programs; 32-bit Wine is not installed" >&2
    fi ;;
  --checks)
    packages=(clang clang-format libclang-rt-14-dev valgrind) ;;
  --peers)
    packages=(amsynth zynaddsubfx-vst) ;;
esac

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
[ ${#missing[@]} -eq 0 ] && exit 0

# Packages of a foreign architecture need it added before the package lists are read.
for p in "${missing[@]}"; do
  case "$p" in
    *:i386) dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
  esac
done
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
