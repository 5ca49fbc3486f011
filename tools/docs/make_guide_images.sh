#!/usr/bin/env bash
# Draws the editor through the current build and cuts the user guide's pictures from it:
# docs/img/guide/panel.png (the whole panel on the first factory program) and one picture
# per panel section. With --sounds it also renders the README's two sound examples.
# Needs ImageMagick (convert); --sounds needs what tools/programs/render_programs.py needs.
# Usage: tools/docs/make_guide_images.sh [BUILD_DIR] [--sounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=build
sounds=0
for arg in "$@"; do
  case "$arg" in
    --sounds) sounds=1 ;;
    *) build=$arg ;;
  esac
done
case "$build" in /*) ;; *) build="$root/$build" ;; esac
render="$build/tools/render/tessaron-render"
[ -x "$render" ] || { echo "make_guide_images: $render not built (make build)" >&2; exit 1; }
command -v convert >/dev/null || { echo "make_guide_images: needs ImageMagick's convert (apt-get install imagemagick)" >&2; exit 1; }

out="$root/docs/img/guide"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private home: the snapshot never reads or writes the user's own configuration.
export HOME="$work" XDG_CONFIG_HOME="$work/config"

"$render" --snapshot "$out/panel.png" --program 0
"$render" --snapshot "$work/open.png" --program 0 --tweak-open

# Section name, then the crop rectangle in panel pixels: width x height + left + top.
while read -r name geometry; do
  convert "$work/open.png" -crop "$geometry" +repage -strip "$out/$name.png"
done <<'SECTIONS'
organ       170x122+12+6
vcf         190x102+184+28
glide       210x102+372+28
osc         312x112+582+28
lfo         218x102+892+28
mix         270x106+12+136
envelope    204x106+278+136
strings     204x106+480+136
waveform    204x106+682+136
modulation  226x106+884+136
wheels      122x98+12+246
phaser      252x98+130+246
delay       310x98+380+246
program     424x100+688+246
tweak       384x54+12+346
SECTIONS

if [ "$sounds" -eq 1 ]; then
  # The README's examples: the first program and the first church organ, from the listening guide's set.
  python3 "$root/tools/programs/render_programs.py" --render "$render" --only 0 4 \
    --work "$work/sounds" --docs "$root/docs/sounds"
fi
echo "make_guide_images: wrote $(ls "$out" | wc -l) pictures to docs/img/guide"
