#!/usr/bin/env bash
# Installs what is missing, builds the program and its assets (Release) and
# plays it. Only what playing needs is built (not the tests, tools or
# benchmarks). Extra arguments go to the program, e.g. ./run.sh --window
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
. scripts/common.sh
name=$(program_name build) # build/paper-weather
if [ ! -x "build/$name" ]; then
  echo "run.sh: building $name, its music and its images (about a minute the first time)..." >&2
fi
cmake --build build --target "$name" music images
exec "./build/$name" "$@"
