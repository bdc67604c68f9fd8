#!/usr/bin/env bash
# Fuzzes every mesh format reader: builds the libFuzzer targets (clang,
# AddressSanitizer and UndefinedBehaviorSanitizer over the kernel and the
# formats library) in build/fuzz, then runs each target for FUZZ_SECONDS
# seconds (default 30) on a scratch corpus seeded with the test files.
# Prints one line per target; exits non-zero when a target finds a crash,
# a leak, a sanitizer report or a broken reader promise. Inputs that fail
# are kept in build/fuzz/findings/.
#
#   FUZZ_SECONDS=60 scripts/fuzz.sh
#   FUZZ_BUILD_DIR=/tmp/fz FUZZ_JOBS=4 scripts/fuzz.sh
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
seconds=${FUZZ_SECONDS:-30}
jobs=${FUZZ_JOBS:-2}
mkdir -p "$build"
log=$build/fuzz-build.log

if ! cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DG3_BUILD_FUZZ=ON -DG3_SANITIZE=ON -DG3_POOLS=OFF \
    -DG3_BUILD_TESTS=OFF -DG3_BUILD_BENCH=OFF >"$log" 2>&1; then
    echo "fuzz: configure failed, see $log"
    exit 1
fi
targets="obj off stl dump ply"
if ! cmake --build "$build" -j "$jobs" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done) >>"$log" 2>&1; then
    echo "fuzz: build failed, see $log"
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/g3fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
findings=$build/findings
status=0

for t in $targets; do
    corpus=$work/corpus-$t
    mkdir -p "$corpus" "$work/artifacts-$t"
    case $t in
    obj) pattern='*.obj' ;;
    off) pattern='*.off' ;;
    stl) pattern='*.stl' ;;
    dump) pattern='*.txt' ;;
    ply) pattern='*.ply' ;;
    esac
    # Seeds: the test files of the format (dumps only from data folders, so
    # the CMakeLists.txt files stay out), named by content so none clash.
    find "$root/tests" -type f -name "$pattern" \
        $([ "$t" = dump ] && printf '%s' "-path */data/*") -print0 |
        while IFS= read -r -d '' f; do
            cp "$f" "$corpus/$(sha1sum "$f" | cut -c1-16)"
        done
    seeds=$(find "$corpus" -type f | wc -l)

    "$build/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -artifact_prefix="$work/artifacts-$t/" -print_final_stats=1 >"$work/log-$t" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log-$t" | tail -n1)
    if [ "$rc" -eq 0 ]; then
        echo "fuzz_$t: ok, ${runs:-?} runs in ${seconds}s from $seeds seeds"
    else
        status=1
        mkdir -p "$findings"
        cp "$work/log-$t" "$findings/fuzz_$t.log"
        cp "$work/artifacts-$t/"* "$findings/" 2>/dev/null
        what=$(grep -m1 -E '^==[0-9]+==ERROR|runtime error|deadly signal|ERROR: libFuzzer' "$work/log-$t" | cut -c1-120)
        echo "fuzz_$t: FAILED (exit $rc) ${what:-see log}; input and log in $findings"
    fi
done
exit $status
