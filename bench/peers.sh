#!/usr/bin/env bash
# Tessaron against the Linux VST 2 instruments a user would pick instead: Debian's amsynth
# and ZynAddSubFX. The same MIDI files go through every module with tessaron-render
# --timing, each instrument with the sound it loads with (Tessaron also with the full
# reference patch: all three sections, phaser and delay). Renders are interleaved, one
# of each instrument in turn, so a busy neighbour falls on all alike; each cell keeps the
# least CPU of REPEATS renders (default 5), since a shared machine only makes a render
# slower. Prints the table and, with --write FILE, puts it into FILE between the markers
# "<!-- bench-peers:begin -->" and "<!-- bench-peers:end -->" (appended when missing). A render
# that fails (a module refusing the rate or the block size) or stays silent says so in its cell.
# The peers are test dependencies only: installed here when missing, never shipped.
# Usage: peers.sh <tessaron-render> [--write FILE]
# Environment: REPEATS, RATE (default 44100), BLOCK (default 4096), TESSARON_MODULE (the
# module to measure, default the renderer's own), PEERS_NO_INSTALL=1 (skip apt-get).
set -euo pipefail
render=${1:?usage: $0 <tessaron-render> [--write FILE]}
write=""
if [ "${2:-}" = "--write" ]; then write=${3:?--write needs a file}; fi
repeats=${REPEATS:-5}
rate=${RATE:-44100}
block=${BLOCK:-4096}
amsynth=/usr/lib/vst/amsynth_vst.so
zyn=/usr/lib/vst/ZynAddSubFX.so

if [ -z "${PEERS_NO_INSTALL:-}" ]; then
  bash "$(dirname "$0")/../scripts/install-deps.sh" --peers >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A user of our own: every instrument starts from its shipped defaults (no start-up bank or
# saved settings of the real user), and none writes into the real home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$XDG_CONFIG_HOME"

# The files (bench/midifile.py): a held chord, a phrase, a cluster.
PYTHONPATH="$(dirname "$0")" python3 - "$work" <<'PY'
import random, sys
from midifile import TEN_KEYS, held, write as write_file
work = sys.argv[1]
def write(name, notes):
    write_file(f"{work}/{name}.mid", notes)
write("chord", held(TEN_KEYS, 10.0))
# A 30 s phrase: a new key every 1/8 to 3/8 s, each held 0.3 to 2 s, over a bass key
# every 2 s, so that several keys overlap at any time.
rng = random.Random(19)
phrase, t = [], 0.0
while t < 28.0:
    phrase.append((t, rng.uniform(0.3, 2.0), rng.randint(48, 84)))
    t += rng.choice((0.125, 0.25, 0.25, 0.375))
for bar in range(14):
    phrase.append((bar * 2.0, 2.1, rng.choice((36, 38, 41, 43))))
write("phrase", phrase)
write("cluster", held(range(128), 10.0))
PY

# Normalised parameters of the full reference patch on the "Init" program (63).
full="--program 63 --param 8=0.5 --param 9=0.5 --param 10=0.5 --param 11=0.5 --param 22=1 --param 26=0.5 \
--param 65=0.35 --param 2=1 --param 3=1 --param 4=1 --param 45=1 --param 46=1 --param 47=1 --param 50=0.3"
instruments=(tessaron tessaron-full amsynth zyn)
declare -A label=([tessaron]="Tessaron, default sound (program 0)" [tessaron-full]="Tessaron, full patch"
  [amsynth]="amsynth $(dpkg-query -W -f '${Version}' amsynth 2>/dev/null || echo '?')"
  [zyn]="ZynAddSubFX $(dpkg-query -W -f '${Version}' zynaddsubfx-vst 2>/dev/null || echo '?')")
files=(chord phrase cluster)
declare -A fileLabel=([chord]="ten-key chord, 10 s" [phrase]="phrase, 30 s" [cluster]="128-key cluster, 10 s")

module_args() {
  case $1 in
    tessaron) echo "${TESSARON_MODULE:+--module $TESSARON_MODULE}" ;;
    tessaron-full) echo "${TESSARON_MODULE:+--module $TESSARON_MODULE} $full" ;;
    amsynth) echo "--module $amsynth" ;;
    zyn) echo "--module $zyn" ;;
  esac
}

# One render; prints "seconds-of-CPU seconds-of-audio", or "not rendered: <why>" / "silent".
measure() {  # instrument file
  local out status
  # shellcheck disable=SC2046
  out=$("$render" $(module_args "$1") --midi "$work/$2.mid" -o "$work/out.wav" --float --timing --tail 0 \
          --rate "$rate" --block "$block" 2>&1) && status=0 || status=$?
  if [ $status -ne 0 ]; then
    # The module's or the renderer's own words, kept out of the table's cell borders.
    echo "not rendered: $(printf '%s' "$out" | grep -v '^lo server' | tail -1 | tr '|' '/')"
    return
  fi
  if printf '%s' "$out" | grep -q 'peak -inf'; then
    echo silent
    return
  fi
  printf '%s\n' "$out" | sed -n 's/^timing: \([0-9.]*\) s CPU in .* calls for \([0-9.]*\) s of audio.*/\1 \2/p'
}

declare -A best note
for _ in $(seq "$repeats"); do
  for f in "${files[@]}"; do
    for i in "${instruments[@]}"; do
      result=$(measure "$i" "$f")
      case $result in
        not\ rendered* | silent) note[$i.$f]=$result ;;
        *)
          read -r cpu audio <<<"$result"
          perSecond=$(awk -v c="$cpu" -v a="$audio" 'BEGIN { printf "%.6f", c / a }')
          if [ -z "${best[$i.$f]:-}" ] || awk -v a="$perSecond" -v b="${best[$i.$f]}" 'BEGIN { exit !(a < b) }'; then
            best[$i.$f]=$perSecond
          fi
          ;;
      esac
    done
  done
done

cell() {  # instrument file: "ms CPU per s of audio (x real time)"
  local v=${best[$1.$2]:-}
  if [ -z "$v" ]; then echo "${note[$1.$2]:-no result}"; return; fi
  awk -v v="$v" 'BEGIN { printf "%.2f ms (%.0fx)", v * 1000, 1 / v }'
}
ratio() {  # peer ours file
  local p=${best[$1.$3]:-} o=${best[$2.$3]:-}
  if [ -z "$p" ] || [ -z "$o" ]; then echo "-"; return; fi
  awk -v p="$p" -v o="$o" 'BEGIN { printf "%.2fx", p / o }'
}

machine=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -1)
table=$(
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on ${machine:-an unknown CPU}, $(nproc) cores, $(uname -sr);"
  echo "$rate Hz, blocks of $block frames, CPU time in the process calls per second of audio (and the"
  echo "real-time factor), least of $repeats interleaved renders each. Ratios: a peer's CPU over Tessaron's."
  echo
  printf '| Instrument |'
  for f in "${files[@]}"; do printf ' %s |' "${fileLabel[$f]}"; done
  echo
  printf '|---|'
  for _ in "${files[@]}"; do printf -- '---|'; done
  echo
  for i in "${instruments[@]}"; do
    printf '| %s |' "${label[$i]}"
    for f in "${files[@]}"; do printf ' %s |' "$(cell "$i" "$f")"; done
    echo
  done
  for ours in tessaron-full tessaron; do
    for peer in amsynth zyn; do
      printf '| %s / %s |' "${label[$peer]%% *}" "${label[$ours]}"
      for f in "${files[@]}"; do printf ' %s |' "$(ratio "$peer" "$ours" "$f")"; done
      echo
    done
  done
)
echo "$table"

if [ -n "$write" ]; then
  python3 - "$write" "$table" <<'PY'
import sys
path, table = sys.argv[1], sys.argv[2]
begin, end = "<!-- bench-peers:begin -->", "<!-- bench-peers:end -->"
text = open(path).read()
block = f"{begin}\n{table}\n{end}"
if begin in text and end in text:
    text = text[:text.index(begin)] + block + text[text.index(end) + len(end):]
else:
    text = text.rstrip("\n") + "\n\n" + block + "\n"
open(path, "w").write(text)
PY
  echo "Wrote the table into $write"
fi
