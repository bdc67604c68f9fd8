#!/usr/bin/env bash
# Regenerates the pictures the README shows: builds the g3 tool, runs
# `g3 demo` into build/pictures and copies the chosen results' pictures to
# docs/pictures/. The same build gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DG3_BUILD_TESTS=OFF -DG3_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target g3
./build/release/g3 demo -o build/pictures --quiet >/dev/null
mkdir -p docs/pictures
for name in box plate wall spheres-difference roof roof-openings; do
  cp build/pictures/$name.png docs/pictures/$name.png
done
ls -l docs/pictures
