#!/usr/bin/env bash
# Makes docs/scenes.png: one small still of each of the twelve scenes, in
# timeline order, four to a row, each labelled with its scene number and
# music time. The stills come from the program's headless stills
# (build/paper-weather --frame), so the sheet can be remade after any change:
#
#   scripts/scene-sheet.sh [BUILD_DIR] [OUTPUT]
#
# BUILD_DIR defaults to build (it needs the program and data/ inside), OUTPUT to
# docs/scenes.png. Needs ffmpeg.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/common.sh"
build="$(cd "${1:-$root/build}" && pwd)"
output="${2:-$root/docs/scenes.png}"
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac

# Scene number and music time (ms) of each still, in timeline order: a
# moment well inside each scene's stretch, clear of its transitions.
stills=(
  "2 5000"
  "1 21000"
  "4 37000"
  "6 52000"
  "10 72000"
  "7 96000"
  "8 108000"
  "5 134000"
  "9 156000"
  "3 170000"
  "11 186000"
  "12 197000"
)
width=256   # each still, scaled from 1024 x 768
height=192
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

command -v ffmpeg >/dev/null || { echo "scene-sheet: needs ffmpeg" >&2; exit 2; }
program="$build/$(program_name "$build")" || exit 2
[ -x "$program" ] || { echo "scene-sheet: no $program (build it first)" >&2; exit 2; }
[ -d "$build/data/Textures" ] || { echo "scene-sheet: no data folder in $build" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

n=0
for entry in "${stills[@]}"; do
  read -r scene ms <<<"$entry"
  name="$(printf '%02d' "$n")"
  # The program reads its track and images from the working folder.
  (cd "$build/data" && "$program" --frame "$ms" --out "$work/$name-full.png") 2>/dev/null ||
    { echo "scene-sheet: the still at $ms ms failed" >&2; exit 1; }
  label="scale=$width:$height"
  if [ -f "$font" ]; then
    label="$label,drawtext=fontfile=$font:text='Scene $scene   $ms ms':x=6:y=6:fontsize=13:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=3"
  fi
  ffmpeg -hide_banner -loglevel error -y -i "$work/$name-full.png" -vf "$label" "$work/$name.png"
  echo "scene-sheet: scene $scene at $ms ms"
  n=$((n + 1))
done

mkdir -p "$(dirname "$output")"
ffmpeg -hide_banner -loglevel error -y -framerate 1 -i "$work/%02d.png" -vf "tile=4x3" -frames:v 1 "$output"
echo "scene-sheet: wrote $output"
