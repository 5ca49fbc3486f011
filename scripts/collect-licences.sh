#!/usr/bin/env bash
# Refreshes LICENSES/ from the copyright files of the Debian packages the modules link.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
declare -A notice=(
  [libpng16-16]=libpng.txt [zlib1g]=zlib.txt [libx11-6]=libx11.txt [libfreetype6]=freetype.txt
  [libfontconfig1]=fontconfig.txt [libcurl4]=curl.txt [gcc-12-base]=gcc-runtime.txt
  [mingw-w64-common]=mingw-w64-runtime.txt [gcc-mingw-w64-base]=gcc-mingw-w64-runtime.txt
)
# Debian's packaging comments ("Comment:" fields and their continuation lines) are not
# part of the notices; everything else is kept word for word.
strip_comments() { awk '/^Comment:/ {skip=1; next} skip && /^[ \t]/ {next} {skip=0; print}' "$1"; }
for pkg in "${!notice[@]}"; do
  src=/usr/share/doc/$pkg/copyright
  if [ -f "$src" ]; then
    strip_comments "$src" > "$root/LICENSES/${notice[$pkg]}"
  else
    echo "collect-licences: $pkg is not installed; kept LICENSES/${notice[$pkg]}" >&2
  fi
done
