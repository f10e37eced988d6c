#!/usr/bin/env bash
# Measures live audio/video sync end to end through a real sound server: how
# late the demo's picture is against its sound, and the same for a mature
# video player playing a capture of the same stretch, in the same run.
#
#   scripts/measure-sync.sh [--demo PATH] [--data DIR] [--from MS] [--to MS] [--keep DIR]
#
# --demo defaults to build/demo, --data to the folder the demo finds itself
# (DEMO_DATA_DIR if set); --from/--to give the stretch (default 0 to 30000:
# the first two cuts and thirty sync points). --keep DIR keeps the recordings.
#
# How: a PulseAudio user daemon (null sink, --exit-idle-time=-1, its runtime
# folder temporary) and an Xvfb screen; the demo plays live, fullscreen,
# through SDL's pulseaudio driver, while one ffmpeg process records the
# screen (x11grab, reduced on the fly to a small grey picture) and the null
# sink's monitor (PCM in Matroska) on the same clock. Then the reference: a
# --capture of the same stretch played by mpv --ao=pulse through the same
# server, recorded the same way. For each recording the sound's place is
# found by cross-correlating it with the track (decoded by ffmpeg), which
# gives the wall time at which each music time was heard; the picture's
# accents (the cuts between scenes and the sync points' flashes, at their
# known music times) are found as the largest jump in mean luminance near
# where they are due. The lag of an accent is when it was seen minus when
# its music time was heard (positive: the picture is late). The recording's
# own offsets (x11grab's and the monitor's timestamps) are in both figures;
# the demo's lag relative to the reference's is what the viewer gets beyond
# what a mature player gives.
#
# Not part of ./test.sh: it takes a minute or two, needs a sound server, and
# its figures depend on the machine's load. Missing packages are installed
# with apt-get when run as root; otherwise, or when the server does not
# start, it says what is missing and exits 2.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
demo="$root/build/demo"
data="${DEMO_DATA_DIR:-}"
from=0
to=30000
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --demo) demo="$2"; shift 2 ;;
    --data) data="$2"; shift 2 ;;
    --from) from="$2"; shift 2 ;;
    --to) to="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    *) echo "measure-sync: unknown argument '$1' (see the top of $0)" >&2; exit 2 ;;
  esac
done
say() { echo "measure-sync: $*" >&2; }
[ -x "$demo" ] || { say "no demo at $demo (build it first, or give --demo)"; exit 2; }
demo="$(cd "$(dirname "$demo")" && pwd)/$(basename "$demo")"
[ -n "$data" ] || data="$(dirname "$demo")/data"
[ -f "$data/demosong.mp3" ] || { say "no demosong.mp3 in $data (give --data)"; exit 2; }

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
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp "$work"/*.mkv "$work"/*.log "$keep"/ 2>/dev/null || true; fi
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

seconds() { awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }
say "stretch $from - $to ms; the demo live through PulseAudio"
record "$work/demo.mkv" env SDL_AUDIODRIVER=pulseaudio bash -c "cd '$data' && '$demo' --from $from --to $to 2>>'$work/demo.log'"
say "the reference: a capture of the same stretch played by mpv --ao=pulse"
(cd "$data" && "$demo" --capture "$work/reference.mp4" --from "$from" --to "$to" 2>>"$work/demo.log")
record "$work/reference.mkv" mpv --ao=pulse --fs --no-terminal --no-config "$work/reference.mp4"

# ---- the analysis -----------------------------------------------------------------
SCENES="$root/src/scenes/SceneTable.h" TIMELINE="$root/src/app/Timeline.cpp" TRACK="$data/demosong.mp3" \
FROM="$from" TO="$to" WORK="$work" "$python" - <<'EOF'
import os, re, subprocess, sys
import numpy as np

env = os.environ
start, end = float(env["FROM"]), float(env["TO"])
rate = 8000  # the correlation's sample rate: 0.125 ms steps

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
    out = subprocess.run(["ffmpeg", "-v", "error", "-copyts", "-i", path, "-map", "0:v", "-vf",
                          "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"],
                         check=True, capture_output=True, text=True).stdout
    times = [float(v) for v in re.findall(r"pts_time:([0-9.]+)", out)]
    values = [float(v) for v in re.findall(r"YAVG=([0-9.]+)", out)]
    n = min(len(times), len(values))
    return np.array(times[:n]), np.array(values[:n])

def measure(name):
    path = os.path.join(env["WORK"], name + ".mkv")
    sound = pcm(["-i", path])
    if len(sound) < len(track) // 2:
        sys.exit(f"measure-sync: the {name} recording holds {len(sound) / rate:.1f} s of sound; too short")
    # Where the track's stretch starts in the recording: the peak of the
    # cross-correlation (through FFTs), refined to a fraction of a sample.
    n = 1 << int(np.ceil(np.log2(len(sound) + len(track))))
    corr = np.fft.irfft(np.fft.rfft(sound, n) * np.conj(np.fft.rfft(track, n)), n)[: len(sound)]
    k = int(np.argmax(corr))
    if 0 < k < len(corr) - 1:
        a, b, c = corr[k - 1], corr[k], corr[k + 1]
        k = k + 0.5 * (a - c) / (a - 2 * b + c)
    strength = corr.max() / np.sqrt(np.sum(track ** 2) * np.sum(sound ** 2) + 1e-12)
    heard0 = first_pts(path, "a") + k / rate  # wall time (s) at which music time `start` was heard
    times, luma = luminance(path)
    jumps = np.abs(np.diff(luma))
    noise = np.median(jumps) + 1e-6
    lags = []
    for t in accents:
        due = heard0 + (t - start) / 1000
        # The picture's change: the largest jump from 150 ms before to 250 ms after the sound.
        w = np.where((times[1:] >= due - 0.15) & (times[1:] <= due + 0.25))[0]
        if len(w) == 0:
            continue
        i = w[np.argmax(jumps[w])]
        if jumps[i] < max(4.0, 8 * noise):
            continue  # no clear accent here (a sync point that draws no flash in this scene)
        lags.append((t, (times[i + 1] - due) * 1000))
    fps = (len(times) - 1) / (times[-1] - times[0]) if len(times) > 1 else 0
    return lags, strength, fps

results = {}
for name in ("demo", "reference"):
    lags, strength, fps = measure(name)
    results[name] = dict(lags)
    v = np.array([l for _, l in lags])
    if len(v) == 0:
        sys.exit(f"measure-sync: no accent found in the {name} recording")
    print(f"{name:9s}: {len(v):2d} accents, picture lag mean {v.mean():6.1f} ms, spread (sd) {v.std():5.1f} ms, "
          f"worst {v[np.argmax(np.abs(v))]:6.1f} ms  (sound match {strength:.2f}, screen grabbed at {fps:.1f} fps)")
both = sorted(set(results["demo"]) & set(results["reference"]))
if both:
    d = np.array([results["demo"][t] - results["reference"][t] for t in both])
    print(f"relative : {len(d):2d} accents in both, the demo's picture {d.mean():+6.1f} ms against the "
          f"reference's (spread {d.std():.1f} ms, worst {d[np.argmax(np.abs(d))]:+.1f} ms); target within 17 ms")
print("per accent (music ms: demo, reference lag ms): " +
      ", ".join(f"{t:.0f}: {results['demo'].get(t, float('nan')):.0f}/{results['reference'].get(t, float('nan')):.0f}"
                for t in accents))
EOF
