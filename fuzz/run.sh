#!/usr/bin/env bash
# Builds every libFuzzer target of fuzz/ (each fuzz/<name>_fuzz.cpp) with clang,
# ASan and UBSan, and runs each for SECONDS (default 20), starting from the
# seed inputs in fuzz/corpus/<name>/. Findings are written to
# $TORVA_FUZZ_BUILD/artifacts/ (default build-fuzz/artifacts/); the script
# fails when a target finds one.
#   usage: fuzz/run.sh [SECONDS]
set -uo pipefail
seconds="${1:-20}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TORVA_FUZZ_BUILD:-$root/build-fuzz}"

# clang with its libFuzzer runtime and OpenMP library.
if ! command -v clang++ >/dev/null 2>&1 ||
    ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    ! dpkg -s libomp-dev >/dev/null 2>&1; then
    SUDO=
    if [ "$(id -u)" != 0 ]; then SUDO="sudo -n"; fi
    $SUDO apt-get update -qq && $SUDO apt-get install -y -qq clang libclang-rt-dev libomp-dev cmake ninja-build || exit 1
fi

cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null || exit 1
cmake --build "$build" || exit 1

# Idle OpenMP workers sleep instead of spinning on the second core.
export OMP_WAIT_POLICY=passive
passed=0
failed=0
mkdir -p "$build/artifacts"
for target in "$build"/*_fuzz; do
    [ -x "$target" ] || continue
    name="$(basename "$target" _fuzz)"
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    if [ -d "$root/fuzz/corpus/$name" ]; then seeds=("$root/fuzz/corpus/$name"); fi
    log="$build/$name.log"
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1
    status=$?
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
        echo "fuzz $name: ${runs:-0} runs in ${seconds} s, ${rate:-0} exec/s, no finding"
    else
        failed=$((failed + 1))
        echo "fuzz $name: FAILED (status $status); the finding and its input:"
        grep -E -A30 "^==[0-9]+==ERROR|runtime error|deadly signal|Timeout|out-of-memory" "$log" | head -60
        ls "$build/artifacts/$name-"* 2>/dev/null
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
