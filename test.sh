#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# first the Release build, then the same tests under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")"

# Each stage's wall time, printed at the end (also when a stage fails), with
# the load average: the figures grow with whatever else the machine runs.
stage_names=() stage_secs=() stage_from=$SECONDS
stage() {
  if [ ${#stage_names[@]} -gt 0 ]; then stage_secs+=($((SECONDS - stage_from))); fi
  stage_names+=("$1") stage_from=$SECONDS
}
print_stages() {
  stage_secs+=($((SECONDS - stage_from)))
  echo "test.sh: stage times (s), load average $(cut -d' ' -f1-3 /proc/loadavg):"
  for i in "${!stage_names[@]}"; do printf '  %-28s %5d\n' "${stage_names[$i]}" "${stage_secs[$i]}"; done
  printf '  %-28s %5d\n' total "$SECONDS"
}
trap print_stages EXIT

stage "install"
./scripts/install-deps.sh
jobs=$(nproc)

stage "release build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
stage "release tests"
(cd build && ctest --output-on-failure -j"$jobs")
# The Debian package and tarball of that build, checked unpacked (not installed).
stage "package check"
./scripts/check-package.sh build

# The sanitizer build reuses the Release build's generated assets.
stage "sanitizer build"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON \
  -DDEMO_BENCHMARKS=OFF -DDEMO_GENERATE_ASSETS=OFF -DDEMO_DATA_DIR="$PWD/build/data" >/dev/null
cmake --build build-asan
stage "sanitizer tests"
(cd build-asan && ctest --output-on-failure -j"$jobs")

# The program itself under ASan + UBSan over the whole timeline, so that every
# scene's code runs with the sanitizers: the benchmark at 2 frames per second
# of music time (about 400 frames), with the track's spectrum, started in the
# data folder. Any report fails the step (the sanitizers abort, and the log is
# searched as well). Leak detection is off as in the tests: Mesa's own leaks
# when its driver unloads are not ours.
stage "sanitizer timeline"
. scripts/common.sh
name=$(program_name build-asan)
program_asan="$PWD/build-asan/$name"
log="$PWD/build-asan/timeline.log"
if ! (cd build/data && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
        ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        timeout 600 "$program_asan" --benchmark --fps 2) >"$log" 2>&1 ||
    grep -qE 'runtime error|Sanitizer' "$log"; then
  cat "$log"
  echo "test.sh: $name under ASan + UBSan failed (log above, also in $log)" >&2
  exit 1
fi
grep '^total' "$log"

# The sound layer's audio thread under ThreadSanitizer: only its test binary.
stage "thread sanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_TSAN=ON \
  -DDEMO_BENCHMARKS=OFF -DDEMO_GENERATE_ASSETS=OFF >/dev/null
cmake --build build-tsan --target test_sound
(cd build-tsan && ctest --output-on-failure -R '^test_sound$')
