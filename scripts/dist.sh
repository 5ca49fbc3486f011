#!/usr/bin/env bash
# Packs the release archive dist/tessaron-<version>.tar.gz from already built modules:
# the Linux and both Windows modules, the Linux LV2 bundle, the factory bank as a bank file, the user guide with
# its pictures, and the licence notices of every library linked in.
# Usage: dist.sh LINUX_BUILD_DIR WIN64_BUILD_DIR WIN32_BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
linux=${1:-build}
win64=${2:-build-win64}
win32=${3:-build-win32}

version=$(sed -n 's/^project(Tessaron VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "dist: no version found in CMakeLists.txt" >&2; exit 1; }
name="tessaron-$version"

missing=0
need() {
  if [ ! -s "$1" ]; then
    echo "dist: missing $1 ($2)" >&2
    missing=1
  fi
}
need "$linux/Tessaron64.so" "make build"
for f in Tessaron.so manifest.ttl tessaron.ttl presets.ttl; do need "$linux/lv2/Tessaron.lv2/$f" "make build"; done
need "$win64/Tessaron64.dll" "make windows-x64"
need "$win32/Tessaron.dll" "make windows-x86"
need resources/factory/tessaron.fxb "the factory bank"
need docs/user-guide.md "the user guide"
need LICENSES/README.md "the licence notices"
[ "$missing" -eq 0 ] || exit 1

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top="$stage/$name"
mkdir -p "$top/linux-x86_64" "$top/windows-x64" "$top/windows-x86" "$top/docs/img" "$top/LICENSES"

install -m 644 "$linux/Tessaron64.so" "$top/linux-x86_64/"
mkdir -p "$top/linux-x86_64/Tessaron.lv2"
install -m 644 "$linux"/lv2/Tessaron.lv2/* "$top/linux-x86_64/Tessaron.lv2/"
install -m 644 "$win64/Tessaron64.dll" "$top/windows-x64/"
install -m 644 "$win32/Tessaron.dll" "$top/windows-x86/"
install -m 644 resources/factory/tessaron.fxb "$top/Tessaron Factory Bank.fxb"
install -m 644 docs/user-guide.md "$top/docs/"
if [ -d docs/img/guide ]; then
  cp -r docs/img/guide "$top/docs/img/"
fi
install -m 644 LICENSES/* "$top/LICENSES/"

cat > "$top/README.txt" <<TXT
Tessaron $version, a paraphonic synthesizer (VST 2.4 instrument)

linux-x86_64/Tessaron64.so   Linux x86_64 hosts: copy it to ~/.vst (or any folder your host scans).
linux-x86_64/Tessaron.lv2    The same instrument for LV2 hosts on Linux (Ardour, Carla, Qtractor, Zrythm,
                             Reaper): copy the whole folder to ~/.lv2.
windows-x64/Tessaron64.dll   64-bit Windows hosts: copy it to your host's VST 2 plug-in folder,
                             for example C:\\Program Files\\VSTPlugins.
windows-x86/Tessaron.dll     32-bit Windows hosts, for example into C:\\Program Files (x86)\\VSTPlugins.

Use the one module that matches your host; a 64-bit host cannot load the 32-bit module, nor the
reverse. Then let the host rescan its plug-ins.

"Tessaron Factory Bank.fxb" holds the 64 factory programs. The instrument carries them built in;
load this file with "Load Bank" from the options menu to get them back after overwriting them.

docs/user-guide.md explains every control, the menus, MIDI learn and the configuration file.
LICENSES/ holds the notices of the libraries built into or used by the modules.
TXT

mkdir -p dist
archive="dist/$name.tar.gz"
# Fixed order, owner and times, so two packs of the same build are byte-identical.
stamp=$(git log -1 --format=%cI 2>/dev/null || date -u +%Y-%m-%dT%H:%M:%SZ)
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="$stamp" -C "$stage" -cf - "$name" |
  gzip -n -9 > "$archive"
echo "dist: wrote $archive ($(du -h "$archive" | cut -f1)):"
tar -tzf "$archive" | sed 's/^/  /'
