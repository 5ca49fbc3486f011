#!/usr/bin/env bash
# Idle cost through the module, per factory program: a ten-key chord held for 2 s and
# released, then the instructions the module's process calls spend per second of audio
# from 30 to 40 s after the release (callgrind, counted inside the audio callbacks only,
# so neither the machine's neighbours nor the renderer's file writing count). Each is
# given as a share of the reference chord: the ten-key chord with all three sections,
# phaser and delay, per second of audio while it sounds.
# Usage: idle-cost.sh <tessaron-render> [module] [programs, default 0..63] [extra render options...]
# Prints a Markdown table.
set -euo pipefail
render=${1:?usage: $0 <tessaron-render> [module] [programs] [options]}
module=${2:-}
programs=${3:-$(seq -s ' ' 0 63)}
shift $(( $# < 3 ? $# : 3 ))
extra=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

PYTHONPATH="$(dirname "$0")" python3 - "$work" <<'PY'
import sys
from midifile import TEN_KEYS, held, write
work = sys.argv[1]
write(f"{work}/chord2.mid", held(TEN_KEYS, 2.0))
write(f"{work}/chord4.mid", held(TEN_KEYS, 4.0))
PY

# Instructions inside the module's audio callbacks for one render.
count() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null --collect-atstart=no \
    --toggle-collect='*IPluginVst::VSTProcess*' "$render" ${module:+--module "$module"} --quiet -o "$work/x.wav" "$@" \
    2>&1 >/dev/null | awk '/Collected :/ { print $NF; exit }'
}

reference=(--program 63 --param 2=1 --param 3=1 --param 4=1 --param 45=1 --param 46=1 --param 47=1 --param 50=0.3)
c2=$(count --midi "$work/chord2.mid" --tail 0 "${reference[@]}")
c4=$(count --midi "$work/chord4.mid" --tail 0 "${reference[@]}")
chord=$(( (c4 - c2) / 2 ))
echo "Reference chord: $chord instructions per second of audio"
echo
echo "| Program | Idle 30-40 s after release (instructions per second) | Share of the chord |"
echo "|---|---|---|"
for p in $programs; do
  a=$(count --midi "$work/chord2.mid" --tail 30 --program "$p" "${extra[@]}")
  b=$(count --midi "$work/chord2.mid" --tail 40 --program "$p" "${extra[@]}")
  idle=$(( (b - a) / 10 ))
  awk -v p="$p" -v i="$idle" -v c="$chord" 'BEGIN { printf "| %s | %d | %.2f %% |\n", p, i, 100.0 * i / c }'
done
