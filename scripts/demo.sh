#!/usr/bin/env bash
# Builds the kernel and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DG3_BUILD_TESTS=OFF -DG3_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target g3_example
./build/release/g3_example "$@"
