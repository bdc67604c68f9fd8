#!/usr/bin/env bash
# The kernel's main job: builds the g3 tool and runs `g3 demo`, which builds
# a few meshes, repairs and triangulates them, prints what each step did and
# writes OBJ and VRML files to ./g3-demo (or to -o DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DG3_BUILD_TESTS=OFF -DG3_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target g3
./build/release/g3 demo "$@"
