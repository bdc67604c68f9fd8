#!/usr/bin/env bash
# Builds and runs every test twice: a Release build, then a build under
# AddressSanitizer and UndefinedBehaviorSanitizer with the pools turned off
# (every kernel object is then its own heap allocation, so the sanitizers see
# each use after free and each leak) in which every pass of G3Surface also
# checks the whole mesh it leaves, then fuzzes every mesh format reader.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

echo "== Release build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release -j "$jobs" --output-on-failure

echo "== Sanitizer build and tests (ASan + UBSan, pools off, passes checked)"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DG3_SANITIZE=ON -DG3_POOLS=OFF \
  -DG3_CHECK_PASSES=ON -DG3_BUILD_BENCH=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize -j "$jobs" --output-on-failure

echo "== Fuzzing the format readers (clang libFuzzer, ${FUZZ_SECONDS:-30} s each)"
FUZZ_JOBS=$jobs bash scripts/fuzz.sh
