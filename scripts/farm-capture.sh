#!/usr/bin/env bash
# A capture cut into stretches that render at the same time, in local jobs or
# on other hosts over SSH through GNU parallel, then joined into one file.
#
#   scripts/farm-capture.sh OUT.mkv|OUT.mp4 [OPTIONS]
#
# Each stretch is the program's own `--capture stretch.mkv --from A --to B`
# (lossless FFV1: every frame is the still byte for byte), which replays the
# timeline up to A unshown, so a stretch shows what a run from 0 shows. The
# stretches tile the --fps grid: each starts where the one before it ends,
# on a whole millisecond, so the joined frames keep the single run's
# timestamps. The pieces are joined by ffmpeg's concat demuxer without
# decoding them, and the track goes under the whole once, cut from the music
# file as the program cuts it, so the sound has no seam. An .mp4 output is
# then encoded once, H.264 + AAC as the program's own .mp4 capture.
#
# Options:
#   --size WxH          the frame size (the program's default: 1024x768)
#   --fps N             frames per second (default 60, as --capture)
#   --from MS --to MS   the stretch of music time, whole ms (default 0 to the
#                       end: the last frame is the first past 200000 ms, as
#                       a capture of the whole demo)
#   --stretch SECONDS   music time each job renders (default 20; rounded to
#                       whole frames that start on a whole ms)
#   --hosts FILE        where the jobs run: GNU parallel's --sshloginfile
#                       format, one login a line ("4/user@host", "ssh -p 2222
#                       host", ":" for this machine); default: this machine
#   --jobs N            jobs at a time: on this machine without --hosts
#                       (default 2), else on each host (default: its cores
#                       or the N/ of its line)
#   --retries N         tries of a stretch before the run fails (default 3;
#                       GNU parallel tries it on a host where it has not failed)
#   --program PATH      the program, here and on every host (default
#                       paper-weather, as the package installs it)
#   --track FILE        the music file (default: the local program's data)
#   --crf N --preset P  the .mp4's encode (default 16, ultrafast, as the
#                       program's)
#   --keep              keep the folder of stretches after the join
#
# Hosts need the installed package (the same version as here, checked on
# each before anything renders; a host that does not answer is left out),
# and, as GNU parallel's SSH path does, perl and rsync. The stretches come
# back into OUT.farm beside the output; a run that fails or is stopped keeps
# those that came back, and the same command run again renders only the rest
# (GNU parallel's --joblog and --resume-failed). Nothing is written under
# OUT's name until the whole is joined.
set -euo pipefail

me=$(basename "$0")
say() { echo "$me: $*" >&2; }
die() { say "$*"; exit 2; }
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }

# The demo's end (kDemoEndMs in src/scenes/SceneTable.h): a capture without
# --to ends with the first frame past it.
demo_end_ms=200000

jobs_option=()
out="" size="" fps=60 from=0 to="" stretch=20 hosts="" jobs="" retries=3
program=paper-weather track="" crf=16 preset=ultrafast keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --size|--fps|--from|--to|--stretch|--hosts|--jobs|--retries|--program|--track|--crf|--preset)
      [ $# -ge 2 ] || die "$1 needs a value"
      case "$1" in
        --size) size=$2 ;; --fps) fps=$2 ;; --from) from=$2 ;; --to) to=$2 ;;
        --stretch) stretch=$2 ;; --hosts) hosts=$2 ;; --jobs) jobs=$2 ;;
        --retries) retries=$2 ;; --program) program=$2 ;; --track) track=$2 ;;
        --crf) crf=$2 ;; --preset) preset=$2 ;;
      esac
      shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage ;;
    -*) say "unknown option $1"; usage ;;
    *) [ -z "$out" ] || die "one output only (got $out and $1)"; out=$1; shift ;;
  esac
done
[ -n "$out" ] || usage

# whole NAME VALUE MIN MAX: fails unless VALUE is a whole number in range.
whole() {
  [[ $2 =~ ^[0-9]{1,9}$ ]] && [ "$((10#$2))" -ge "$3" ] && [ "$((10#$2))" -le "$4" ] ||
    die "$1 needs a whole number from $3 to $4, not '$2'"
}
whole --fps "$fps" 1 240
whole --from "$from" 0 "$demo_end_ms"
[ -z "$to" ] || whole --to "$to" 1 "$demo_end_ms"
whole --stretch "$stretch" 1 $((demo_end_ms / 1000))
whole --retries "$retries" 1 100
[ -z "$jobs" ] || whole --jobs "$jobs" 1 1000
fps=$((10#$fps)) from=$((10#$from)) stretch=$((10#$stretch))
[ -z "$to" ] || to=$((10#$to))
[ -z "$size" ] || [[ $size =~ ^[0-9]+x[0-9]+$ ]] || die "--size needs WxH, such as 1920x1080, not '$size'"
case "$out" in
  *.mkv) format=mkv ;;
  *.mp4) format=mp4 ;;
  *) die "the output must be an .mkv or .mp4 file, not $out" ;;
esac
[ -z "$hosts" ] || [ -r "$hosts" ] || die "cannot read the hosts file $hosts"
for tool in parallel ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || die "needs $tool (apt-get install ${tool/ffprobe/ffmpeg})"
done

# The grid: frame n is at n * 1000 / fps ms. A run from A to B shows the
# frames from ceil(A * fps / 1000) to the last strictly before B (Offline.cpp's
# planFrames); without --to, up to the first frame past the demo's end.
first=$(((from * fps + 999) / 1000))
if [ -n "$to" ]; then
  end=$(((to * fps + 999) / 1000)) # one past the last frame
else
  end=$((demo_end_ms * fps / 1000 + 2))
fi
[ "$end" -gt "$first" ] || die "--from $from --to $to holds no frame at $fps fps"
# A stretch's frame count: a multiple of the frames between whole
# milliseconds (3 at 60 fps), so that every stretch starts on a whole ms and
# the join's millisecond timestamps are rounded as the single run's.
gcd() { local a=$1 b=$2; while [ "$b" -ne 0 ]; do set -- "$b" $((a % b)); a=$1 b=$2; done; echo "$a"; }
unit=$((fps / $(gcd "$fps" 1000)))
length=$(((stretch * fps + unit - 1) / unit * unit))
# The time of frame n as whole ms that a --from or --to of the program takes
# to mean frame n (rounded down: less than a frame before it).
ms_of() { echo $(($1 * 1000 / fps)); }

# The local program: its version is the one every host must have, and its
# data holds the track.
program_path=$(command -v "$program" 2>/dev/null) || die "no program $program here (install the package, or --program PATH)"
version=$("$program_path" --version 2>/dev/null) || die "$program_path --version failed"
if [ -z "$track" ]; then
  dir=$(dirname "$(readlink -f "$program_path")")
  for candidate in "$dir/data/demosong.mp3" "$dir/../share/$(basename "$program_path")/demosong.mp3"; do
    [ -r "$candidate" ] && { track=$candidate; break; }
  done
  [ -n "$track" ] || die "cannot find the music beside $program_path; --track FILE names it"
fi
[ -r "$track" ] || die "cannot read the music file $track"
track=$(readlink -f "$track")

out_dir=$(cd "$(dirname "$out")" && pwd) || die "no folder for $out"
out="$out_dir/$(basename "$out")"
work="$out.farm"
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The plan a folder of stretches was made for: another plan's stretches
# would not join into this one.
plan="fps=$fps size=${size:-default} frames=$first-$end length=$length $version"
if [ -e "$work/plan" ] && [ "$(cat "$work/plan")" != "$plan" ]; then
  die "$work holds stretches of another capture ($(cat "$work/plan")); remove it or run that capture's command"
fi
echo "$plan" >"$work/plan"

# The logins, each asked for its version; those that do not answer are left
# out, a host with another version stops the run (its frames could differ).
logins="$work/logins"
: >"$logins"
if [ -n "$hosts" ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%%#*}
    [[ $line =~ [^[:space:]] ]] || continue
    answer=$(timeout 60 parallel --will-cite --nonall -S "$line" "$(printf '%q' "$program") --version" 2>&1) || true
    if [ "$answer" = "$version" ]; then
      echo "$line" >>"$logins"
    elif [[ $answer == "${version%% *} "* && $answer != *$'\n'* ]]; then
      die "$line has $answer, this machine $version: every host needs the same version"
    else
      say "leaving out $line: no $program --version there (${answer##*$'\n'})"
    fi
  done <"$hosts"
  [ -s "$logins" ] || die "no host in $hosts answers with $version"
  [ -z "$jobs" ] || jobs_option=(-j "$jobs")
else
  echo ":" >"$logins"
  jobs_option=(-j "${jobs:-2}")
fi

# One line a stretch: its number, then the program's arguments for its
# frames (the last one runs to the end without --to, as the single run).
stretches="$work/stretches"
: >"$stretches"
count=0
for ((a = first; a < end; a += length)); do
  count=$((count + 1))
  b=$((a + length))
  args="--from $(ms_of "$a")"
  if [ "$b" -lt "$end" ] || [ -n "$to" ]; then
    [ "$b" -le "$end" ] || b=$end
    args+=" --to $(ms_of "$b")"
  fi
  printf '%04d\t%s\n' "$count" "$args" >>"$stretches"
done
# A piece's name: the plan's own, so that two captures on one host keep apart.
tag=$(echo "$plan" | md5sum | cut -c1-8)
piece() { echo "stretch-$tag-$1.mkv"; }

# A stretch logged as done whose piece is not here (deleted, or lost on the
# way back) is taken out of the log, so that --resume-failed renders it again.
joblog="$work/jobs.log"
if [ -e "$joblog" ]; then
  awk -F'\t' -v dir="$work" -v tag="$tag" 'NR == 1 { print; next }
    { split($NF, w, "stretch-" tag "-"); f = dir "/stretch-" tag "-" substr(w[2], 1, 4) ".mkv"
      if ((getline line < f) >= 0 || $7 != 0) print; close(f) }' "$joblog" >"$joblog.kept"
  mv "$joblog.kept" "$joblog"
fi
back=$(find "$work" -maxdepth 1 -name "stretch-$tag-*.mkv" | wc -l)
say "$count stretches of $length frames ($((length * 1000 / fps)) ms) from frame $first, $back already back; \
hosts: $(paste -sd, "$logins" | sed 's/,/, /g')"

# A job: the program's capture of one stretch, its messages kept unless it
# fails, when one line says which stretch failed where and why.
quoted_program=$(printf '%q' "$program")
size_args=${size:+--size $size}
job="out=\$($quoted_program --capture $(piece '{1}') {=2 uq() =} --fps $fps $size_args 2>&1) || \
{ s=\$?; echo \"$me: stretch {1} ({=2 uq() =}) failed on \$(hostname) (login \${PARALLEL_SSHHOST:-:}, exit \$s): \$(echo \"\$out\" | tail -n 1)\" >&2; exit \$s; }"
# Remote jobs run in the login folder; their pieces come back here and are
# removed there. Local jobs (":") run here.
remote=()
grep -qv '^[0-9]*/\{0,1\}:$' "$logins" && remote=(--return "$(piece '{1}')" --cleanup)
# A stop (Ctrl-C, SIGTERM) reaches the jobs here too: GNU parallel ends
# them, the program leaves no partial piece, and the pieces back are kept.
status=0 stopped=""
trap 'stopped=SIGINT' INT
trap 'stopped=SIGTERM' TERM
(cd "$work" && parallel --will-cite -u --colsep '\t' --slf "$logins" "${jobs_option[@]}" \
  --retries "$retries" --joblog "$joblog" --resume-failed "${remote[@]}" "$job" <"$stretches") || status=$?
missing=()
while IFS=$'\t' read -r n args; do
  [ -s "$work/$(piece "$n")" ] || missing+=("$n ($args)")
done <"$stretches"
trap - INT TERM
[ -z "$stopped" ] || say "stopped by $stopped"
if [ ${#missing[@]} -gt 0 ] || [ "$status" -ne 0 ] || [ -n "$stopped" ]; then
  # The log's last line of each stretch is its last try.
  awk -F'\t' 'NR > 1 { last[$1] = $0 } END { for (n in last) print last[n] }' "$joblog" | sort -n |
    awk -F'\t' '$7 != 0 { printf "stretch %04d failed last on %s (exit %s)\n", $1, $2, $7 }' |
    while IFS= read -r line; do say "$line"; done
  say "${#missing[@]} of $count stretches missing: ${missing[*]:-none}; \
the $((count - ${#missing[@]})) back are kept in $work, and the same command renders only the rest"
  case "$stopped" in SIGINT) exit 130 ;; SIGTERM) exit 143 ;; *) exit 1 ;; esac
fi

# The join: the pieces' pictures as they are, one after the other (each
# piece's length given, so that no piece's sound stretches the next one's
# start), and the track's stretch as the program cuts it (Capture.cpp: the
# first frame's time and the frames' length, to the millisecond).
list="$work/join.ffconcat"
echo "ffconcat version 1.0" >"$list"
n=0
while IFS=$'\t' read -r number args; do
  n=$((n + 1))
  echo "file '$(piece "$number")'" >>"$list"
  [ "$n" -eq "$count" ] || echo "duration $(awk -v l="$length" -v f="$fps" 'BEGIN { printf "%.3f", l / f }')" >>"$list"
done <"$stretches"
frames=$(ffprobe -v error -f concat -safe 0 -i "$list" -select_streams v:0 -count_packets \
  -show_entries stream=nb_read_packets -of csv=p=0) || die "ffprobe cannot read the pieces in $work"
[ "$frames" -eq $((end - first)) ] ||
  { say "the pieces hold $frames frames, not $((end - first)); they are kept in $work"; exit 1; }
read -r start_s length_s length_exact < <(awk -v a="$first" -v n="$frames" -v f="$fps" \
  'BEGIN { printf "%.3f %.3f %.6f\n", a * (1000.0 / f) / 1000.0, n / f, n / f }')
partial=$(mktemp "$out.XXXXXX.partial")
trap 'rm -f "$partial"' EXIT
if [ "$format" = mkv ]; then
  encode=(-map 0:v -c:v copy -map 1:a -c:a flac -t "$length_exact" -f matroska)
else
  # As the program's own .mp4 (src/app/Capture.cpp): High profile, the BT.709
  # matrix at limited range, tagged so in the stream.
  encode=(-map 0:v -c:v libx264 -preset "$preset" -crf "$crf" -pix_fmt yuv420p -profile:v high
    -x264-params 8x8dct=1
    -vf "scale=out_color_matrix=bt709:out_range=tv,setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709:range=tv"
    -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv
    -map 1:a -c:a aac -b:a 192k -t "$length_exact" -movflags +faststart -f mp4)
fi
ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 -i "$list" \
  -ss "$start_s" -t "$length_s" -i "$track" "${encode[@]}" "$partial" ||
  { say "ffmpeg could not join the pieces; they are kept in $work"; exit 1; }
mv "$partial" "$out"
trap - EXIT
[ "$keep" -eq 1 ] || rm -rf "$work"
say "$frames frames ($length_s s) in $count stretches written to $out"
