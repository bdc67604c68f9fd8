#!/usr/bin/env bash
# The kernel's main job: builds the g3 tool and runs `g3 demo`, which builds
# a few meshes, repairs and triangulates them, prints what each step did and
# writes OBJ and VRML files and pictures to ./g3-demo (or to -o DIR), both
# taken from the folder the script is run from.
set -euo pipefail
here=$(pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/deps.sh demo
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DG3_BUILD_TESTS=OFF -DG3_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target g3
cd "$here"
"$repo/build/release/g3" demo "$@"
