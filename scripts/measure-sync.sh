#!/usr/bin/env bash
# Measures live audio/video sync end to end through a real sound server: how
# late the demo's picture is against its sound, and the same for a mature
# video player playing a capture of the same stretch, in the same run.
#
#   scripts/measure-sync.sh [--demo PATH] [--data DIR] [--from MS] [--to MS] [--keep DIR] [-- DEMO OPTIONS]
#   scripts/measure-sync.sh --analyse DIR [--data DIR] [--from MS] [--to MS]
#
# --demo defaults to the build's program (build/paper-weather), --data to the folder the program finds itself
# (DEMO_DATA_DIR if set); --from/--to give the stretch (default 0 to 30000:
# the first two cuts and thirty sync points). --keep DIR keeps the recordings;
# --analyse DIR measures recordings kept so, without recording again
# (SYNC_DEBUG=1: each accent's matches on stderr). Words
# after -- go to the demo's live run (--audio-delay -50: the picture 50 ms later).
#
# How: a PulseAudio user daemon (null sink, --exit-idle-time=-1, its runtime
# folder temporary) and an Xvfb screen. First a --capture of the stretch
# (the picture as it should be, frame by frame, and the reference). Then one
# ffmpeg process records the screen (x11grab, reduced on the fly to a small
# grey picture) and the null sink's monitor (PCM in Matroska) while the demo
# plays the stretch live, fullscreen, through SDL's pulseaudio driver, and
# then mpv --ao=pulse plays the capture through the same server: one
# recording, so that both plays share its offset between its two inputs
# (which differs by a few hundred ms from one ffmpeg process to the next).
# For each play, the moment each accent's music time was heard is found by
# cross-correlating two seconds of the track (decoded by ffmpeg) around it
# with the recorded sound; the accents are every cut between scenes and
# every sync point inside the stretch (scenes/SceneTable.h, the sync table
# in app/Timeline.cpp). The screen's mean luminance around that moment is
# matched against the capture's: the shift that fits best is the picture's
# lag at that accent (positive: the picture is late). Accents where the
# picture does not change (a sync point that draws no flash there) or the
# match is unclear are left out. The recording's own offset is in both
# plays' figures; the demo's lag relative to the reference's is what the
# viewer gets beyond what a mature player gives.
#
# Not part of ./test.sh: it takes a minute or two, needs a sound server, and
# its figures depend on the machine's load. Missing packages are installed
# with apt-get when run as root; otherwise, or when the server does not
# start, it says what is missing and exits 2.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/common.sh"
demo="$root/build/$(program_name "$root/build" 2>/dev/null || echo paper-weather)"
data="${DEMO_DATA_DIR:-}"
from=0
to=30000
keep=""
analyse=""
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --demo) demo="$2"; shift 2 ;;
    --data) data="$2"; shift 2 ;;
    --from) from="$2"; shift 2 ;;
    --to) to="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    --analyse) analyse="$2"; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    *) echo "measure-sync: unknown argument '$1' (see the top of $0)" >&2; exit 2 ;;
  esac
done
say() { echo "measure-sync: $*" >&2; }
[ -x "$demo" ] || { say "no demo at $demo (build it first, or give --demo)"; exit 2; }
demo="$(cd "$(dirname "$demo")" && pwd)/$(basename "$demo")"
[ -n "$data" ] || data="$(dirname "$demo")/data"
[ -f "$data/demosong.mp3" ] || { say "no demosong.mp3 in $data (give --data)"; exit 2; }

if [ -z "$analyse" ]; then
# ---- what it needs -----------------------------------------------------------
# command, Debian package
needs=("pulseaudio pulseaudio" "pactl pulseaudio-utils" "Xvfb xvfb" "mpv mpv" "ffmpeg ffmpeg" "ffprobe ffmpeg")
missing=()
for n in "${needs[@]}"; do
  set -- $n
  command -v "$1" >/dev/null || missing+=("$2")
done
python=/usr/bin/python3
"$python" -c "import numpy" 2>/dev/null || missing+=("python3-numpy")
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2 ||
      { say "could not install ${missing[*]}"; exit 2; }
  else
    say "needs the packages ${missing[*]} (apt-get install ${missing[*]})"; exit 2
  fi
fi

# ---- the server and the screen -------------------------------------------------
work="$(mktemp -d /tmp/measure-sync.XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp "$work"/*.mkv "$work"/*.mp4 "$work"/*.log "$work"/boundary "$keep"/ 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/run" HOME="$work/home" PULSE_RUNTIME_PATH="$work/run/pulse"
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio --daemonize=no -n --exit-idle-time=-1 --disallow-exit --log-target=file:"$work/pulse.log" \
  --load="module-native-protocol-unix" \
  --load="module-null-sink sink_name=sync rate=48000 channels=2" \
  --load="module-always-sink" &
pids+=($!)
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { say "the PulseAudio server did not start (see below)"; cat "$work/pulse.log" >&2 || true; exit 2; }
pactl set-default-sink sync
screen=":$(( 90 + RANDOM % 100 ))"
Xvfb "$screen" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY="$screen"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${screen#:}" ] && break; sleep 0.1; done

# Records the screen and the sink's monitor into $1 while the command after
# it runs. Both inputs keep their wall-clock timestamps (-copyts).
record() {
  local out="$1"; shift
  ffmpeg -nostdin -v error -copyts \
    -f x11grab -framerate 60 -video_size 1024x768 -i "$DISPLAY" \
    -f pulse -sample_rate 48000 -channels 2 -i sync.monitor \
    -map 0:v -map 1:a -vf "scale=64:48,format=gray" -c:v ffv1 -c:a pcm_s16le "$out" \
    2>"$work/ffmpeg.log" &
  local rec=$!
  sleep 1.5 # both inputs running before anything plays
  "$@" || say "'$*' exited with status $?"
  sleep 1
  kill -INT "$rec"; wait "$rec" || true
}

say "stretch $from - $to ms"
play_demo() { (cd "$data" && SDL_AUDIODRIVER=pulseaudio "$demo" --from "$from" --to "$to" "${extra[@]}" 2>>"$work/demo.log"); }
# The demo, then the reference, in one recording: the offset between its
# two inputs' timestamps differs from one ffmpeg process to the next (by a
# few hundred ms), but stays within one.
play_both() {
  play_demo || say "the demo exited with status $?"
  date +%s.%N >"$work/boundary" # wall time between the two plays
  sleep 1
  say "the reference: the capture played by mpv --ao=pulse"
  mpv --ao=pulse --vo=x11 --hwdec=no --fs --no-terminal --no-config "$work/reference.mp4"
}
say "capturing the stretch for the reference"
(cd "$data" && "$demo" --capture "$work/reference.mp4" --from "$from" --to "$to" 2>>"$work/demo.log")
say "the demo live through PulseAudio, then the reference"
record "$work/recording.mkv" play_both
else
  work="$analyse"
  python=/usr/bin/python3
fi

# ---- the analysis -----------------------------------------------------------------
SCENES="$root/src/scenes/SceneTable.h" TIMELINE="$root/src/app/Timeline.cpp" TRACK="$data/demosong.mp3" \
FROM="$from" TO="$to" WORK="$work" "$python" - <<'EOF'
import os, re, subprocess, sys
import numpy as np

env = os.environ
start, end = float(env["FROM"]), float(env["TO"])
rate = 8000  # the correlation's sample rate: 0.125 ms steps
debug = bool(env.get("SYNC_DEBUG"))  # each accent's matches on stderr

# The accents: every scene cut and sync point inside the stretch, clear of its ends.
cuts = [float(m) for m in re.findall(r"\{\s*\d+,\s*([0-9.]+),\s*\"", open(env["SCENES"]).read())]
table = re.search(r"int syncs\[\d+\]\s*=\s*\{([^}]*)\}", open(env["TIMELINE"]).read()).group(1)
syncs = [float(v) for v in re.findall(r"\d+", table)]
accents = sorted(t for t in set(cuts + syncs) if start + 500 <= t <= end - 500)

def pcm(args):
    raw = subprocess.run(["ffmpeg", "-v", "error"] + args + ["-ac", "1", "-ar", str(rate), "-f", "f32le", "-"],
                         check=True, capture_output=True).stdout
    return np.frombuffer(raw, dtype=np.float32).astype(np.float64)

track = pcm(["-ss", str(start / 1000), "-t", str((end - start) / 1000), "-i", env["TRACK"]])

def first_pts(path, stream):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "packet=pts_time",
                          "-read_intervals", "%+#1", "-of", "csv=p=0", path], check=True, capture_output=True,
                         text=True).stdout.split()
    return float(out[0])

def luminance(path):
    # Each grabbed frame's wall time (ffv1: one packet per frame) and mean grey level.
    times = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=pts_time",
                            "-of", "csv=p=0", path], check=True, capture_output=True, text=True).stdout.split()
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-vsync", "passthrough", "-f", "rawvideo",
                          "-pix_fmt", "gray", "-"], check=True, capture_output=True).stdout
    luma = np.frombuffer(raw, dtype=np.uint8).reshape(-1, 64 * 48).mean(axis=1)
    n = min(len(times), len(luma))
    return np.array([float(t) for t in times[:n]]), luma[:n]

def xcorr(a, b):
    """Correlation of b slid along a: out[i] = sum(a[i:i+len(b)] * b), for every full overlap."""
    n = 1 << int(np.ceil(np.log2(len(a) + len(b))))
    return np.fft.irfft(np.fft.rfft(a, n) * np.conj(np.fft.rfft(b, n)), n)[: len(a) - len(b) + 1]

def peak(c):
    """The index of the largest value, refined to a fraction by a parabola through its neighbours."""
    k = int(np.argmax(c))
    if 0 < k < len(c) - 1 and (c[k - 1] - 2 * c[k] + c[k + 1]) != 0:
        return k + 0.5 * (c[k - 1] - c[k + 1]) / (c[k - 1] - 2 * c[k] + c[k + 1])
    return float(k)

def held(times_ms, values, grid):
    """What a screen showing `values` from `times_ms` on shows at each time of `grid` (sample and hold)."""
    i = np.clip(np.searchsorted(times_ms, grid, side="right") - 1, 0, len(values) - 1)
    return values[i]

# The picture as it should be: the capture's frames, frame n at music time start + n / 60 s.
cap_raw = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(env["WORK"], "reference.mp4"), "-vf",
                          "scale=64:48,format=gray", "-f", "rawvideo", "-"], check=True, capture_output=True).stdout
cap_luma = np.frombuffer(cap_raw, dtype=np.uint8).reshape(-1, 64 * 48).mean(axis=1)
cap_ms = start + np.arange(len(cap_luma)) * 1000.0 / 60.0

def match(times_ms, luma, grid, shifts):
    """How well the screen (`luma` shown from `times_ms` on, in heard music time) matches the
    capture shifted later by each of `shifts` ms, over `grid`: normalised correlations."""
    seen = held(times_ms, luma, grid)
    want = np.array([held(cap_ms, cap_luma, grid - s) for s in shifts])
    a = seen - seen.mean()
    b = want - want.mean(axis=1, keepdims=True)
    return (b @ a) / (np.sqrt((b * b).sum(axis=1) * (a @ a)) + 1e-12), want

recording = os.path.join(env["WORK"], "recording.mkv")
all_sound = pcm(["-i", recording])
all_audio0 = first_pts(recording, "a")  # wall time (s) of the recording's first sound sample
all_times, all_luma = luminance(recording)
boundary = float(open(os.path.join(env["WORK"], "boundary")).read())

def measure(name, around=None):
    # The recording's part before the boundary (the demo) or after it (the reference).
    lo, hi = (0.0, boundary) if name == "demo" else (boundary, float("inf"))
    first = max(0, int((lo - all_audio0) * rate))
    last = len(all_sound) if hi == float("inf") else int((hi - all_audio0) * rate)
    sound, audio0 = all_sound[first:last], all_audio0 + first / rate
    keep = (all_times >= lo) & (all_times < hi)
    times, luma = all_times[keep], all_luma[keep]
    if len(sound) < len(track) // 2:
        sys.exit(f"measure-sync: the {name}'s part of the recording holds {len(sound) / rate:.1f} s of sound; too short")
    # Where the stretch starts in it, roughly: the whole track against the whole part.
    coarse = int(np.argmax(xcorr(sound, track))) if len(sound) >= len(track) else 0
    # The picture against the capture over the whole stretch, on a 5 ms grid
    # and within 1.5 s either way (the recording's two inputs may be a few
    # hundred ms apart): the reference's lag, around which each of its accents
    # is refined. The demo's accents are looked for within 300 ms of the
    # reference's lag (same recording, same offset), which holds even when a
    # loaded machine makes its frames few and its whole-stretch match weak.
    heard0 = audio0 + coarse / rate
    r, _ = match(start + (times - heard0) * 1000, luma, np.arange(start + 700, end - 700, 5.0),
                 np.arange(-1500, 1501, 5.0))
    overall = -1500 + 5 * int(np.argmax(r))
    if debug: print(f"{name}: whole stretch best {r.max():.2f} at {overall} ms", file=sys.stderr)
    centre, reach = (overall, 150) if around is None else (around, 300)
    # How many different pictures a second the screen showed (the player's frame rate, at most the grab's).
    changes = np.count_nonzero(np.abs(np.diff(luma)) > 0) / max(times[-1] - times[0], 1e-6) if len(times) > 1 else 0
    lags = []
    for t in accents:
        # When music time t was heard: two seconds of the track around it,
        # matched within half a second of where the whole stretch puts it
        # (locally, so that a dropout earlier on does not shift it).
        first = int((t - start - 1000) * rate / 1000)
        seg = track[max(0, first): first + 2 * rate]
        due = coarse + first
        lo = max(0, due - rate // 2)
        region = sound[lo: due + len(seg) + rate // 2]
        if first < 0 or len(seg) < 2 * rate or len(region) <= len(seg):
            continue
        c = xcorr(region, seg)
        energy = np.sqrt(np.convolve(region ** 2, np.ones(len(seg)), "valid") * np.sum(seg ** 2)) + 1e-12
        c = c / energy[: len(c)]
        if debug: print(f"{name} {t:.0f} ms: sound match {c.max():.2f}", file=sys.stderr)
        if c.max() < 0.6:
            continue  # the sound here does not match the track (a dropout)
        heard = audio0 + (lo + peak(c)) / rate + 1.0  # s; the segment starts 1 s before t
        # The screen around then against the capture, on a 1 ms grid of heard
        # music time: the picture's lag is the shift that matches best.
        shifts = centre + np.arange(-reach, reach + 1, 1.0)
        r, want = match(t + (times - heard) * 1000, luma, t + np.arange(-600, 600, 1.0), shifts)
        if debug: print(f"{name} {t:.0f} ms: picture match {r.max():.2f} at {shifts[0] + peak(r):.0f} ms", file=sys.stderr)
        if np.std(want[reach]) < 2 or r.max() < 0.8:
            continue  # no change on the picture here (a sync point without a flash), or no clear match
        lags.append((t, shifts[0] + peak(r)))
    fps = (len(times) - 1) / (times[-1] - times[0]) if len(times) > 1 and times[-1] > times[0] else 0
    return lags, fps, overall, changes

results = {}
overall_ref = None
for name in ("reference", "demo"):
    lags, fps, overall, changes = measure(name, overall_ref)
    overall_ref = overall if name == "reference" else overall_ref
    results[name] = dict(lags)
    v = np.array([l for _, l in lags])
    if len(v) == 0:
        sys.exit(f"measure-sync: no accent found in the {name}'s play")
    print(f"{name:9s}: {len(v):2d} accents, picture lag mean {v.mean():6.1f} ms, spread (sd) {v.std():5.1f} ms, "
          f"worst {v[np.argmax(np.abs(v))]:6.1f} ms  ({changes:.0f} pictures a second; grabbed at {fps:.1f} fps)")
both = sorted(set(results["demo"]) & set(results["reference"]))
if both:
    d = np.array([results["demo"][t] - results["reference"][t] for t in both])
    print(f"relative : {len(d):2d} accents in both, the demo's picture {d.mean():+6.1f} ms against the "
          f"reference's (spread {d.std():.1f} ms, worst {d[np.argmax(np.abs(d))]:+.1f} ms); target within 17 ms")
print("per accent (music ms: demo, reference lag ms): " +
      ", ".join(f"{t:.0f}: {results['demo'].get(t, float('nan')):.0f}/{results['reference'].get(t, float('nan')):.0f}"
                for t in accents))
EOF
