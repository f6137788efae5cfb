#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and UndefinedBehaviorSanitizer) and runs
# each for a fixed time:
#   scripts/fuzz.sh [seconds] [target...]     (default: 20 seconds for each of the three targets)
# Inputs that found new paths are kept in build/fuzz/corpus/<target>, beside the seeds in
# fuzz/corpus/<target>; an input that breaks a target is written to build/fuzz/crashes/. The exit
# status is non-zero when any target broke. docs/FUZZING.md says more.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(daytime_record line_reader registry_text)

cd "$root"
scripts/deps.sh app fuzz
build=build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/crashes"
broken=()
for target in "${targets[@]}"; do
    mkdir -p "$build/corpus/$target"
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/crashes/$target-")
    [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
    echo "== fuzz_$target for ${seconds}s"
    # libFuzzer prints a line per new input; only its summary is worth keeping in a CI log.
    if ! "$build/fuzz/fuzz_$target" "${options[@]}" "$build/corpus/$target" "fuzz/corpus/$target" \
            >"$build/$target.log" 2>&1; then
        broken+=("$target")
        cat "$build/$target.log" >&2
        continue
    fi
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$build/$target.log" || true
done

if [ ${#broken[@]} -gt 0 ]; then
    echo "Broken by fuzzing: ${broken[*]} (inputs in $build/crashes/)" >&2
    exit 1
fi
