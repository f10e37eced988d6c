#!/usr/bin/env bash
# Installs what is missing, builds the demo and its assets (Release) and plays it.
# Only what playing needs is built (not the tests, tools or benchmarks).
# Extra arguments go to the demo, e.g. ./run.sh --window
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
if [ ! -x build/demo ]; then
  echo "run.sh: building the demo, its music and its images (about a minute the first time)..." >&2
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target demo music images
exec ./build/demo "$@"
