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

# ardour7-lua is a wrapper that fixes the data path; the interpreter behind it is run with
# a data path of our own (below).
ardour_lib=/usr/lib/ardour7
ardour_data=/usr/share/ardour7
if [ ! -x "$ardour_lib/luasession" ] || [ ! -d "$ardour_data" ]; then
  echo "SKIPPED: Ardour's Lua interpreter is not installed (Debian package ardour)"
  exit 77
fi
[ -d "$bundle" ] || { echo "no bundle at $bundle" >&2; exit 1; }
bundle=$(cd "$bundle" && pwd)

# Ardour writes its configuration and caches under HOME: a private one, gone afterwards.
work=$(mktemp -d)
[ -z "${ARDOUR_RENDER_KEEP:-}" ] || echo "work folder: $work"
[ -n "${ARDOUR_RENDER_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$work/out"
cp "$here/ardour-test-note.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
# The bundle alone in a folder of its own (a build folder holds more than bundles), then the
# system's bundles for the vocabularies its description uses.
mkdir -p "$work/lv2"
ln -s "$bundle" "$work/lv2/$(basename "$bundle")"
export LV2_PATH="$work/lv2:/usr/lib/lv2"
export RENDER_PLUGIN_URI=$uri RENDER_FOLDER=$work/out RENDER_NOTE=$note
# Ardour's data without its MIDI name documents: neither run needs them, and a thread of
# Ardour's would parse those hundreds of files while the session is being built.
mkdir -p "$work/data"
for entry in "$ardour_data"/*; do
  [ "$(basename "$entry")" = patchfiles ] || ln -s "$entry" "$work/data/"
done
export LD_LIBRARY_PATH=$ardour_lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} ARDOUR_DATA_PATH=$work/data
export ARDOUR_CONFIG_PATH=/etc/ardour7 ARDOUR_DLL_PATH=$ardour_lib VAMP_PATH=$ardour_lib/vamp

session=$work/out/session
log=$work/ardour.log
say_log() {
  echo "$1; Ardour's output:" >&2
  grep -v -e '^MIDI Clock' -e '^MTC in' "$log" >&2 || true
  exit 1
}
timeout 300 "$ardour_lib/luasession" "$here/ardour-render-lv2.lua" > "$log" 2>&1 ||
  say_log "Ardour did not build the session"
grep -e '^plug-in:' "$log" || true
# An empty session has no range yet (regions would make it): two seconds from the start.
python3 - "$session/render.ardour" <<'PY' || say_log "the saved session has no Locations"
import re, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
# Positions are in Ardour's superclock: 282240000 ticks a second.
session_range = ('<Location id="900000001" name="session" start="a0" end="a564480000" '
                 'flags="IsSessionRange" locked="0" timestamp="0" cue="0"/>')
text, count = re.subn(r"<Locations/>", "<Locations>" + session_range + "</Locations>", text, count=1)
if not count:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text)
PY
# Ardour 7.3's export itself now and then aborts on a corrupted heap as it frees its port
# channels (seen with Ardour's own synth too, and never under valgrind, which finds nothing
# in the plug-in): an export that dies of a signal is tried again, twice at most. A plug-in
# that crashed the host would crash every try.
for try in 1 2 3; do
  rm -f "$work/out/note.wav"
  status=0
  timeout 300 "$ardour_lib/utils/ardour7-export" -o "$work/out/note.wav" "$session" render >> "$log" 2>&1 ||
    status=$?
  [ "$status" -ge 128 ] && [ "$status" -ne 137 ] && [ "$try" -lt 3 ] || break
  echo "ardour7-export died of signal $((status - 128)); exporting again" | tee -a "$log"
done
[ "$status" -eq 0 ] && [ -s "$work/out/note.wav" ] || say_log "Ardour did not export the note"

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
