#!/usr/bin/env bash
# Renders one note through an LV2 instrument with Ardour, headless on its dummy backend,
# and checks the pitch of what Ardour exported.
#   ardour-render-lv2.sh BUNDLE_DIR [PLUGIN_URI [NOTE [EXPECTED_HZ]]]
# Defaults: Tessaron's URI, A4 (69) at 440 Hz. Exit 0 when the note sounds within 1 % of
# the expected pitch, 1 when it does not, 77 (skipped) when Ardour is not installed.
set -euo pipefail

bundle=${1:?usage: ardour-render-lv2.sh BUNDLE_DIR [PLUGIN_URI [NOTE [EXPECTED_HZ]]]}
uri=${2:-http://www.greylanternlabs.com/plugins/tessaron}
note=${3:-69}
expected=${4:-440}
here=$(cd "$(dirname "$0")" && pwd)

lua=$(command -v ardour7-lua || true)
if [ -z "$lua" ]; then
  echo "SKIPPED: ardour7-lua is not installed (Debian package ardour)"
  exit 77
fi
[ -d "$bundle" ] || { echo "no bundle at $bundle" >&2; exit 1; }
bundle=$(cd "$bundle" && pwd)

# Ardour writes its configuration and caches under HOME: a private one, gone afterwards.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$work/out"
cp "$here/ardour-test-note.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
# The bundle first, then the system's bundles for the vocabularies its description uses.
export LV2_PATH="$(dirname "$bundle"):/usr/lib/lv2"
export RENDER_PLUGIN_URI=$uri RENDER_FOLDER=$work/out RENDER_NOTE=$note

if ! timeout 300 "$lua" "$here/ardour-render-lv2.lua" > "$work/ardour.log" 2>&1 ||
   [ ! -s "$work/out/note.wav" ]; then
  echo "Ardour did not render the note; its output:" >&2
  grep -v -e '^MIDI Clock' -e '^MTC in' "$work/ardour.log" >&2 || true
  exit 1
fi
grep -e '^plug-in:' "$work/ardour.log" || true

# Before the note: silence. While it is held: sound at its pitch.
read -r quiet _ < <(python3 "$here/wav-pitch.py" "$work/out/note.wav" 0.0 0.09 "$expected")
read -r rms pitch < <(python3 "$here/wav-pitch.py" "$work/out/note.wav" 0.4 0.9 "$expected")
echo "note $note: rms $rms, pitch $pitch Hz (expected $expected Hz); before the note: rms $quiet"
python3 - "$quiet" "$rms" "$pitch" "$expected" <<'PY'
import sys
quiet, rms, pitch, expected = map(float, sys.argv[1:])
ok = quiet < 5e-4 and rms > 1e-3 and abs(pitch - expected) <= 0.01 * expected
print("PASSED" if ok else "FAILED")
sys.exit(0 if ok else 1)
PY
