#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: installs only what is missing.
set -euo pipefail

packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libx11-dev libfreetype-dev
  libfontconfig1-dev libcurl4-openssl-dev libsndfile1-dev libgtest-dev libbenchmark-dev
  fonts-liberation g++-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev xvfb xdotool)
[ "${1:-}" = "--demo" ] && packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libx11-dev
  libfreetype-dev libfontconfig1-dev libcurl4-openssl-dev libsndfile1-dev fonts-liberation)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
