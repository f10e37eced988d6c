#!/usr/bin/env bash
# Installs what is missing, builds the demo and its assets (Release) and plays it.
# Extra arguments go to the demo, e.g. ./run.sh --window
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
exec ./build/demo "$@"
