#!/usr/bin/env bash
# Measures what the program's frames cost on this machine and writes
# docs/performance.md: the tables come from the runs below, the prose that
# explains them from the template at the end of this script. Refresh the
# figures by running it again, never by editing the generated file.
#
#   scripts/performance.sh [OPTIONS] [BUILD_DIR]       (default: build)
#
# The runs, all headless except the live one (SDL's offscreen video driver,
# the dummy audio driver), each started in BUILD_DIR/data:
#   1. --benchmark --fps F at three frame sizes: ms per frame per scene, and
#      at the first size the same in layers (cost measured in the run itself);
#   2. live play in a window with --stats over a stretch: frame rates per scene,
#      with the render scale automatic (the default) and with --render-scale 1;
#   3. a --capture of a short stretch, timed against --benchmark --fps 60 over
#      the same stretch run just before it.
# The defaults take about 10 minutes on 2 idle cores with llvmpipe, about 15
# with other builds beside it (the live runs play in real time: 200 s each for
# the whole demo). Finer figures: --fps 30 --runs 4, and --medium.
#
# Options:
#   --fps N                       the benchmarks' step (default 5: 1000 frames)
#   --sizes "WxH WxH WxH"         the three frame sizes (default 1024x768 1920x1080 2048x1536)
#   --runs N                      benchmark runs per size, averaged (default 1)
#   --live-from MS --live-to MS   the live stretch (default 0 to 200000, every scene)
#   --capture-from MS --capture-to MS   the captured stretch (default 110000 to 120000)
#   --medium                      also a capture with --preset medium --crf 17
#   --note TEXT                   a sentence on the machine's state, printed with the run
#   --output FILE                 default docs/performance.md
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/common.sh"

fps=5
sizes="1024x768 1920x1080 2048x1536"
runs=1
live_from=0 live_to=200000
capture_from=110000 capture_to=120000
note=""
medium=0
output="$root/docs/performance.md"
build="$root/build"
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --fps) fps=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --live-from) live_from=$2; shift 2 ;;
    --live-to) live_to=$2; shift 2 ;;
    --capture-from) capture_from=$2; shift 2 ;;
    --capture-to) capture_to=$2; shift 2 ;;
    --note) note=$2; shift 2 ;;
    --medium) medium=1; shift ;;
    --output) output=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "performance.sh: unknown option $1" >&2; usage ;;
    *) build=$1; shift ;;
  esac
done
build="$(cd "$build" && pwd)"
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac
read -r -a size_list <<<"$sizes"
[ ${#size_list[@]} -eq 3 ] || { echo "performance.sh: --sizes takes three sizes" >&2; exit 2; }
name=$(program_name "$build") || exit 2
program="$build/$name"
[ -x "$program" ] || { echo "performance.sh: no $program (build it first)" >&2; exit 2; }
[ -d "$build/data/Textures" ] || { echo "performance.sh: no data folder in $build" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
now() { date +%s.%N; }
say() { echo "performance.sh: $*" >&2; }
# run LOG ARGS...: the program in the data folder, stdout and stderr into LOG;
# prints the wall-clock seconds it took.
run() {
  local log=$1 start end
  shift
  start=$(now)
  (cd "$build/data" && "$program" "$@") >"$log" 2>&1 || { cat "$log" >&2; say "$name $* failed"; exit 1; }
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.1f\n", b - a}'
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')

# ---- 1. the benchmarks --------------------------------------------------------------
for i in 0 1 2; do
  for r in $(seq "$runs"); do
    say "benchmark --fps $fps --size ${size_list[$i]} (run $r of $runs)"
    run "$work/bench-$i-$r.txt" --benchmark --fps "$fps" --size "${size_list[$i]}" >/dev/null
  done
done
# ---- 2. live --stats ------------------------------------------------------------------
say "live play with --stats from $live_from to $live_to ms (real time)"
run "$work/live.txt" --window --stats --from "$live_from" --to "$live_to" >/dev/null
say "the same with --render-scale 1 (real time)"
run "$work/live-full.txt" --window --stats --from "$live_from" --to "$live_to" --render-scale 1 >/dev/null
# ---- 3. a capture against the benchmark of the same stretch ---------------------------
say "benchmark --fps 60 from $capture_from to $capture_to ms"
bench_s=$(run "$work/capture-bench.txt" --benchmark --fps 60 --from "$capture_from" --to "$capture_to")
say "capture of the same stretch"
capture_s=$(run "$work/capture.txt" --capture "$work/capture.mp4" --fps 60 --from "$capture_from" --to "$capture_to")
capture_frames=$(awk '$1 == "total" {print $5}' "$work/capture-bench.txt")
ratio=$(awk -v c="$capture_s" -v b="$bench_s" 'BEGIN {printf "%.2f", c / b}')
capture_rows="| ultrafast, 16 | $capture_from - $capture_to | $capture_frames | $bench_s | $capture_s | $ratio |"
if [ "$medium" = 1 ]; then
  say "capture of the same stretch with --preset medium --crf 17"
  medium_s=$(run "$work/capture-medium.txt" --capture "$work/capture-medium.mp4" --fps 60 \
    --from "$capture_from" --to "$capture_to" --preset medium --crf 17)
  ratio=$(awk -v c="$medium_s" -v b="$bench_s" 'BEGIN {printf "%.2f", c / b}')
  capture_rows+=$'\n'"| medium, 17 | $capture_from - $capture_to | $capture_frames | $bench_s | $medium_s | $ratio |"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the tables ---------------------------------------------------------------------
# The scene table's stretches, "SCENE START END" in ms, one a line: the rows'
# music times (the frames of --fps 5 start up to 200 ms into a stretch, and the
# README gives the table's times too).
scene_stretches() {
  local table="$root/src/scenes/SceneTable.h"
  local end
  end=$(sed -nE 's/.*kDemoEndMs = ([0-9]+).*/\1/p' "$table")
  grep -oE '^ *\{[0-9]+, [0-9]+, "' "$table" | tr -d '{,"' |
    awk -v end="$end" '{n[NR] = $1; s[NR] = $2} END {for (i = 1; i <= NR; i++) print n[i], s[i], i < NR ? s[i + 1] : end}'
}

# The benchmark's lines: "SCENE FROM - TO FRAMES MEAN P95 LAYER MEAN_LAYERS
# P95_LAYERS" and "total FROM - TO FRAMES MEAN P95 LAYER ... (S s, FPS fps)".
# Each cell is the mean over the runs.
bench_table() {
  awk -v sizes="$sizes" -v stretches="$(scene_stretches)" '
    BEGIN { lines = split(stretches, line, "\n"); for (i = 1; i <= lines; i++) { split(line[i], f, " "); start[f[1]] = f[2]; end[f[1]] = f[3] } }
    FNR == 1 { file = FILENAME; sub(/.*bench-/, "", file); size = substr(file, 1, 1) }
    ($3 == "-" && $1 ~ /^[0-9]+$/) || $1 == "total" {
      key = $1
      if (!(key in order)) {
        order[key] = ++rows; label[rows] = key
        from[key] = key in start ? start[key] : $2; to[key] = key in end ? end[key] : $4
      }
      mean[key, size] += $6; p95[key, size] += $7; n[key, size]++
    }
    END {
      split(sizes, s, " ")
      printf "| scene | music time (s) |"
      for (i = 1; i <= 3; i++) printf " %s mean | p95 |", s[i]
      printf "\n|---|---|"
      for (i = 1; i <= 3; i++) printf "---:|---:|"
      printf "\n"
      for (r = 1; r <= rows; r++) {
        k = label[r]
        printf "| %s | %.1f - %.1f |", k == "total" ? "**whole demo**" : k, from[k] / 1000, to[k] / 1000
        for (i = 0; i < 3; i++) printf " %.1f | %.1f |", mean[k, i] / n[k, i], p95[k, i] / n[k, i]
        printf "\n"
      }
      printf "| **frames per second** | |"
      for (i = 0; i < 3; i++) printf " %.0f | |", 1000 / (mean["total", i] / n["total", i])
      printf "\n| **cost against %s** | |", s[1]
      for (i = 0; i < 3; i++) printf " %.2f x | |", mean["total", i] / mean["total", 0] * n["total", 0] / n["total", i]
      printf "\n"
    }' "$work"/bench-*.txt
}

layer_table() {
  awk '
    ($3 == "-" && $1 ~ /^[0-9]+$/) || $1 == "total" {
      key = $1
      if (!(key in order)) { order[key] = ++rows; label[rows] = key }
      ms[key] += $8; meanl[key] += $9; p95l[key] += $10; n[key]++
    }
    END {
      printf "| scene | layer (ms) | mean (layers) | p95 (layers) |\n|---|---:|---:|---:|\n"
      for (r = 1; r <= rows; r++) {
        k = label[r]
        printf "| %s | %.2f | %.1f | %.1f |\n", k == "total" ? "**whole demo**" : k, ms[k] / n[k], meanl[k] / n[k], p95l[k] / n[k]
      }
    }' "$work"/bench-0-*.txt
}

# --stats' lines: "SCENE FROM - TO FRAMES MEAN SLOWEST P95 P99 AT SD MEAN_SCALE
# LOWEST_SCALE", of the run in file $1.
live_table() {
  awk '
    $3 == "-" && $1 ~ /^[0-9]+$/ {
      printf "| %s | %.1f - %.1f | %s | %.0f | %.0f | %.0f | %.0f | %.2f | %.1f | %.2f | %.2f |\n", $1, $2 / 1000, $4 / 1000, $5, $6, $8, $9, $7, $10 / 1000, $11, $12, $13
    }
    BEGIN {
      printf "| scene | music time (s) | frames | mean fps | p95 fps | p99 fps | slowest fps | slowest at (s) | sd (ms) | mean scale | lowest scale |\n"
      printf "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
    }
  ' "$1"
}

# The benchmark's second table at the first size: "SCENE P99 SLOWEST AT
# P99_LAYERS SLOWEST_LAYERS" and "whole ..." (after its header line).
worst_table() {
  awk '
    /slowest at/ { on = 1; next }
    on && NF == 0 { on = 0 }
    on && ($1 ~ /^[0-9]+$/ || $1 == "whole") {
      key = $1
      if (!(key in order)) { order[key] = ++rows; label[rows] = key }
      p99[key] += $2; worst[key] += $3; at[key] = $4; p99l[key] += $5; worstl[key] += $6; n[key]++
    }
    END {
      printf "| scene | p99 (ms) | slowest (ms) | slowest at (s) | p99 (layers) | slowest (layers) |\n"
      printf "|---|---:|---:|---:|---:|---:|\n"
      for (r = 1; r <= rows; r++) {
        k = label[r]
        printf "| %s | %.1f | %.1f | %.2f | %.1f | %.1f |\n", k == "whole" ? "**whole demo**" : k, p99[k] / n[k],
          worst[k] / n[k], at[k] / 1000, p99l[k] / n[k], worstl[k] / n[k]
      }
    }' "$work"/bench-0-*.txt
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
cores=$(nproc)
mesa=$(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo unknown)
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then commit="$commit with changes"; fi
version=$("$program" --version)
if [ "$runs" = 1 ]; then runs_text="one run per size"; else runs_text="$runs runs per size, averaged"; fi

# ---- the page -------------------------------------------------------------------------
mkdir -p "$(dirname "$output")"
cat >"$output" <<EOF
# Performance

<!-- Generated by scripts/performance.sh; run it again to refresh the figures. -->

What the program's frames cost on one machine, measured by
\`scripts/performance.sh\`. Run it on yours for your own figures (about 10
minutes with the defaults on two idle cores; \`--help\` lists longer runs).

**This run:** $started, $version (commit $commit), on $cpu ($cores
cores, no graphics card: Mesa $mesa, llvmpipe with \`LP_NUM_THREADS\` at twice
the cores). Load average $load_before before the runs and $load_after after.
${note:+$note
}
The software rasteriser fills every pixel on the CPU, so these figures rise
with the machine's load (the load averages above say how busy it was), and
they move by a few percent from one run to the next even on an idle machine.
The figures in layers below depend least on the load.
On a graphics card every scene runs at the display's refresh rate, at the
screen's own resolution (nothing here measures that).

## What a frame costs, per scene and per size

\`$name --benchmark --fps $fps --size WxH\` over the whole demo with the track
($runs_text): mean and 95th-percentile milliseconds per
frame, scenes in timeline order (numbered by their source files; the
[README](../README.md#the-scenes) names them).

$(bench_table)

Part of each frame is geometry and the 128 x 128 glow work, which no frame
size changes, so on an idle machine the cost grows more slowly than the
pixel count (the 4:3 picture has twice as many pixels in 1920x1080 as in
1024x768, four times as many in 2048x1536); on a busy one the load's swings
can outweigh the difference between two sizes. Live play on a software
rasteriser stays at 1024 x 768, scaled to the screen, unless \`--size\` asks
for more.

## The same in layers

A layer is one full-screen quad, textured with the glow's texture and blended
over the 1024 x 768 picture, as the glow lays it. The benchmark measures it
during the run (ten quads after each scene's first frame and every 15th, into a
framebuffer of their own, changing no frame) and divides each scene's figures
by the layers measured while it ran, so they compare across machines and
loads. At ${size_list[0]}:

$(layer_table)

The heaviest scenes keep their cost down with a lighter glow-source blur.
Scene 9 blends only the four diagonal copies of each blur pass (the four axis
copies come first and weigh 15/256 of its result); Scenes 6, 8 and 5 leave out
the first two copies (1/256 and 1/128). That is half or a quarter of the
blur's 3 ms on this machine, for frames 55 to 63 dB from the full blur's
(\`Glow::MakeBlur\` says why those copies weigh little).

Scene 9 still draws, twice a frame (its glow source and its picture), some
18,000 small triangles of grass and a few thousand of black flower stems, about
3 ms of the frame on the program's own thread, on top of its soft focus,
talking head and overlays. Scene 8's cloud half draws up to 35 blended layers
of cloud; its sprite is a thin ring with a clear middle, so the layers just in
front of the eye draw little. The two cloud tunnels draw each layer only as
the ring where its mask can be non-zero and compose their unfogged layers four
to a pass on the texture units: the picture but for rounding (51 to 56 dB
against blending each whole layer on its own). \`$name --benchmark --passes\`
shows where each scene's time goes.

## Live frame rates

\`$name --window --stats --from $live_from --to $live_to\` in a window of
SDL's offscreen driver at 1024 x 768, the music on SDL's dummy audio driver:
frames drawn, the mean frame rate, the rates 95 % and 99 % of the frames
reached, the slowest frame and the music time it showed, the spread of the
frame times (standard deviation, ms) and the render scale the pictures were
drawn at (mean and lowest), per scene. Each frame is finished before it is
shown (handed a frame it was still drawing, the software rasteriser now and
then stalled for 100 to 400 ms). With the render scale automatic, the
default:

$(live_table "$work/live.txt")

With \`--render-scale 1\`, every pixel of every frame:

$(live_table "$work/live-full.txt")

A live frame that would miss the display's refresh interval (16.7 ms at
60 Hz, also where the rate cannot be read, as under the offscreen driver) is
drawn smaller instead, the way games' dynamic resolution does: at a scale s
of the picture's width and height, 0.6 at the least, into the lower left of
the frame, and the copy to the window scales it up with linear filtering (the
on-screen display is drawn after that, at the window's own resolution). s is
chosen before each frame from a model of what the last frames cost, a fixed
part (geometry, the 128 x 128 glow work, the clears) and a part per pixel
drawn, fitted as the frames come, and from what each moment is known to cost:
a cost map by music time, built into the program (\`src/app/RenderScale.cpp\`:
each scene's mean in layers from the table above, and the moments that cost
more than their scene, Scene 4's first half second and Scene 8's last one
and a half), so that the frames before a heavier moment are already smaller
when it comes. It moves at most 0.05 a frame, and climbs back to 1 as soon
as the frames fit with room to spare. The map is built in rather than learned
per machine and kept in a cache: in layers it holds on any machine, and there
is no file to go stale. What it costs the picture: at 0.7 a frame is 36 to
49 dB from the still scaled down and up again (the fine edges and textures of
Scenes 6, 5 and 9 lowest), softer, not different; a paused picture, a seek's
first picture, a frame step, a still, a capture and the benchmark are always
drawn whole. On a graphics card the frames fit and s stays 1.

A scene's slowest frames used to be its first ones: llvmpipe makes a shader
for each new combination of GL state the first time a draw uses it, 20 to
380 ms a cut with Mesa's shader cache empty and 6 to 40 ms with it filled
(\`~/.cache/mesa_shader_cache\`, or \`MESA_SHADER_CACHE_DIR\`, where this
Mesa keeps llvmpipe's compiled shaders between runs), and the first use of an
image overlay reads the image back once. Live play now pays all of it before
the music starts, while the window is still black: it walks the timeline
unshown, draws every cut and the moments inside scenes whose state
combinations come later (Scene 8's cloud half, the sphere room's segments,
the grass field) scissored down to one pixel, and puts every scene's state,
\`rand()\` and the GL state back as start-up left them. That costs about
0.2 s of start-up with the shader cache filled by an earlier run. On a
machine's very first run, with every shader still to make, the whole of it
would take about 2 s, so live play gives it a budget of 0.8 s: it goes on
to the next moment only while the time spent and its slowest moment so far
fit in it. A first run so warms the opening and the first cut and starts the
music within about 1.1 s; the cuts it leaves out make their shaders as play
meets them, that once, and the cache holds them for every later run.

What remains is what the frames draw. Scene 4's first half second costs
about 10 layers a frame against 6 to 7 afterwards (it opens out of Scene 1's
blurred white: its glow source is drawn and blurred every frame and laid
over the picture), so its slowest live frames are there on every run.
Scene 8's last one and a half seconds, before it closes, cost about 9 layers
against its mean of 7, and its slowest frames are there. Part of what
made a frame now and then 10 to 30 ms slower than its neighbours in
Scenes 5 and 9 was the heap: the rasteriser allocates and frees megabytes a
frame, and malloc gave the freed memory back to the kernel, to fault it in
again a page at a time (some 60 faults a frame live). The program now keeps
it (\`mallopt\`: blocks up to 32 MB from the heap, up to 256 MB of it kept),
the same peak memory. A live frame does nothing a benchmark frame does not
but show itself, and that costs its thread 0.2 ms (the copy to the window
runs on the rasteriser's threads while the next frame is issued), so any
other slow frame is the machine, which the
benchmark tells apart: its worst frames below, in
layers measured right after them, separate a frame that costs more from a
moment when the machine was busier. The headless modes draw no warm-up, so
a cut can be among the benchmark's slowest frames (on a busy machine a busier
moment more often is):

$(worst_table)

## Capture

A capture renders the same frames as the benchmark; they are read back while
the next one renders and written to \`ffmpeg\` from a thread of their own, so
what the capture costs beyond rendering is mostly the encoder's share of the
cores.
\`$name --capture\` of $capture_from to $capture_to ms at 60 fps against
\`$name --benchmark --fps 60\` over the same stretch run just before it
(wall-clock seconds, start-up included), by x264 preset and quality:

| preset, crf | stretch (ms) | frames | benchmark (s) | capture (s) | capture / benchmark |
|---|---|---:|---:|---:|---:|
$capture_rows

The default (\`--preset ultrafast --crf 16\`) keeps the encoder to about a
tenth of the rendering's CPU time on two cores; \`--preset medium --crf 17\`
(\`scripts/performance.sh --medium\` times it) makes files a little over half
the size at the same quality. A whole capture is 12002 frames at 60 fps.
Across many machines, in stretches joined without a seam:
[farm-capture.md](farm-capture.md), with what a stretch costs.
EOF
say "wrote $output"
