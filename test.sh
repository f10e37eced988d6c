#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# first the Release build, then the same tests under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
(cd build && ctest --output-on-failure -j"$jobs")

# The sanitizer build reuses the Release build's generated assets.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON \
  -DDEMO_BENCHMARKS=OFF -DDEMO_GENERATE_ASSETS=OFF -DDEMO_DATA_DIR="$PWD/build/data" >/dev/null
cmake --build build-asan
(cd build-asan && ctest --output-on-failure -j"$jobs")

# The sound layer's audio thread under ThreadSanitizer: only its test binary.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_TSAN=ON \
  -DDEMO_BENCHMARKS=OFF -DDEMO_GENERATE_ASSETS=OFF >/dev/null
cmake --build build-tsan --target test_sound
(cd build-tsan && ctest --output-on-failure -R '^test_sound$')
