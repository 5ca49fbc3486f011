#!/usr/bin/env bash
# Whole renders through the module's ABI with tessaron-render --timing: idle, one key,
# ten keys and all 128 keys, each section alone and everything with phaser and delay,
# at 44.1, 48 and 96 kHz. Prints the CPU time of the process calls per second of audio
# as a real-time factor; each cell is the best of REPEATS renders (default 3), since a
# shared machine only ever makes a render slower.
# Usage: render-grid.sh <tessaron-render> [seconds of audio per render, default 10]
set -euo pipefail
render=${1:?usage: $0 <tessaron-render> [seconds]}
seconds=${2:-10}
repeats=${REPEATS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files (bench/midifile.py): the keys go down together at
# the start and are held for the whole render.
PYTHONPATH="$(dirname "$0")" python3 - "$work" "$seconds" <<'PY'
import sys
from midifile import TEN_KEYS, held, write
work, seconds = sys.argv[1], float(sys.argv[2])
write(f"{work}/idle.mid", [], end=seconds)
write(f"{work}/1key.mid", held([60], seconds))
write(f"{work}/10keys.mid", held(TEN_KEYS, seconds))
write(f"{work}/128keys.mid", held(range(128), seconds))
PY

# Normalised parameter values on top of the "Init" program (63).
common="--param 8=0.5 --param 9=0.5 --param 10=0.5 --param 11=0.5 --param 22=1 --param 26=0.5 --param 65=0.35"
patch_args() {
  case $1 in
    synth) echo "--param 2=1 --param 3=0 --param 4=0 --param 50=0" ;;
    organ) echo "--param 2=0 --param 3=1 --param 4=0 --param 50=0" ;;
    string) echo "--param 2=0 --param 3=0 --param 4=1 --param 50=0" ;;
    all) echo "--param 2=1 --param 3=1 --param 4=1 --param 45=1 --param 46=1 --param 47=1 --param 50=0.3" ;;
    # Every section and the delay in the mix, the phaser off, nothing played.
    idle) echo "--param 2=1 --param 3=1 --param 4=1 --param 50=0.3" ;;
  esac
}

best_factor() {  # rate patch midi
  local best=0 factor
  for _ in $(seq "$repeats"); do
    # shellcheck disable=SC2046
    factor=$("$render" --midi "$work/$3.mid" -o "$work/out.wav" --float --quiet --timing --tail 0 \
               --rate "$1" --program 63 $common $(patch_args "$2") | sed -n 's/.* \([0-9.]*\)x real time$/\1/p')
    best=$(awk -v a="$best" -v b="${factor:-0}" 'BEGIN { print (b > a) ? b : a }')
  done
  echo "$best"
}

printf "%-8s %-8s %10s %10s %10s %10s\n" rate patch idle "1 key" "10 keys" "128 keys"
for rate in 44100 48000 96000; do
  for patch in synth organ string all; do
    idle=-
    [ "$patch" = all ] && idle=$(best_factor "$rate" idle idle)
    printf "%-8s %-8s %10s %10s %10s %10s\n" "$rate" "$patch" "$idle" \
      "$(best_factor "$rate" "$patch" 1key)" "$(best_factor "$rate" "$patch" 10keys)" \
      "$(best_factor "$rate" "$patch" 128keys)"
  done
done
echo "(x real time: seconds of audio per second of CPU in the process calls, best of $repeats)"
