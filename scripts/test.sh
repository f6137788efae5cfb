#!/usr/bin/env bash
# Builds Orvane and runs every test, stage by stage, and ends with the seconds each stage took:
#   scripts/test.sh [stage...]
# Stages: deps (the packages), linux-build, linux-tests, wine64, wine32, package-check (the packages
# users install), arm64 (the program for 64-bit ARM, its tests under qemu and its package on a clean
# arm64 system), asan (the suite under the sanitizers), fuzz; "linux" stands for the two Linux
# stages, "wine" for both Wine stages. Without a stage every one runs, as in CI. Named stages run
# alone, after the deps stage has installed what they need. The run stops at the first stage that
# fails; each stage's output is also kept in build/test-logs/<stage>.log.
# Every build compiles through ccache, whose cache is the user's (~/.cache/ccache): a second run on
# the machine, in this clone or another, compiles only what changed. The table shows each stage's
# cache hits among its compilations.
set -euo pipefail
cd "$(dirname "$0")/.."

order=(deps linux-build linux-tests wine64 wine32 package-check arm64 asan fuzz)
declare -A title=([deps]="packages" [linux-build]="Linux build" [linux-tests]="Linux tests"
    [wine64]="Wine 64-bit" [wine32]="Wine 32-bit" [package-check]="packages check"
    [arm64]="arm64 build, tests, package" [asan]="sanitizer build and tests" [fuzz]="fuzzing")
# The package groups of scripts/deps.sh that each stage needs.
declare -A needs=([linux-build]="app test" [linux-tests]="app test" [wine64]="app windows"
    [wine32]="app windows windows32" [package-check]="app test windows windows32 packages"
    [arm64]="app test packages arm64" [asan]="app test" [fuzz]="app fuzz")

declare -A chosen=([deps]=1)
if [ $# -eq 0 ]; then
    for stage in "${order[@]}"; do chosen[$stage]=1; done
fi
for arg in "$@"; do
    case "$arg" in
        linux) chosen[linux-build]=1; chosen[linux-tests]=1 ;;
        wine) chosen[wine64]=1; chosen[wine32]=1 ;;
        *)
            if [ -z "${title[$arg]+set}" ]; then
                echo "usage: $0 [stage...]; stages: ${order[*]} (linux, wine: both of theirs)" >&2
                exit 2
            fi
            chosen[$arg]=1 ;;
    esac
done
groups=()
for stage in "${!chosen[@]}"; do
    [ "$stage" = deps ] || groups+=(${needs[$stage]})
done
[ $# -gt 0 ] || groups=()    # deps.sh without a group installs them all

# The Wine runs use the daytime server of the Linux build when this run builds it; otherwise
# wine-test.sh builds one of its own.
daytimed=()
[ -z "${chosen[linux-build]+set}" ] || daytimed=(--daytimed "$PWD/build/linux/bin/orvane-daytimed")

run_deps() { scripts/deps.sh $(printf '%s\n' "${groups[@]}" | sort -u); }
run_linux_build() { cmake --preset linux && cmake --build --preset linux; }
run_linux_tests() { ctest --preset linux; }
run_wine64() { scripts/wine-test.sh "${daytimed[@]}" --no-i686; }
run_wine32() { scripts/wine-test.sh "${daytimed[@]}" --no-x86_64; }
# The Debian package installed, started and purged, the Windows installers run silently under Wine.
run_package_check() { scripts/package-test.sh; }
run_arm64() { scripts/arm64-test.sh; }
run_asan() { cmake --preset linux-asan && cmake --build --preset linux-asan && ctest --preset linux-asan; }
run_fuzz() { scripts/fuzz.sh 20; }

export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache} CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
# ccache's counts of compilations so far: "hits misses".
ccache_counts() {
    command -v ccache >/dev/null || { echo "0 0"; return; }
    ccache --print-stats 2>/dev/null | awk '$1 ~ /^(direct|preprocessed)_cache_hit$/ { hit += $2 } $1 == "cache_miss" { miss += $2 }
        END { print hit + 0, miss + 0 }'
}

logs=build/test-logs
mkdir -p "$logs"
declare -A seconds result hits
print_table() {
    local stage
    echo
    echo "== Stages"
    printf '%-28s %8s  %-14s %s\n' stage seconds "ccache hits" result
    for stage in "${order[@]}"; do
        [ -n "${chosen[$stage]+set}" ] || continue
        printf '%-28s %8s  %-14s %s\n' "${title[$stage]}" "${seconds[$stage]:--}" "${hits[$stage]:--}" "${result[$stage]:-not run}"
    done
    printf '%-28s %8s\n' "whole run" "$SECONDS"
    # What the stages left out, and why, beyond a whole stage skipped (in its row above).
    for stage in "${!result[@]}"; do cat "$logs/$stage.log"; done |
        grep -E '^(deps.sh: SKIPPED|SKIPPED: |package-test: SKIPPED)' | grep -v -E '^SKIPPED: (mingw-[a-z0-9_]+|arm64): ' | sort -u || true
}
trap print_table EXIT

for stage in "${order[@]}"; do
    [ -n "${chosen[$stage]+set}" ] || continue
    echo "== ${title[$stage]}"
    log=$logs/$stage.log
    start=$SECONDS
    read -r hit_before miss_before < <(ccache_counts)
    status=0
    "run_${stage//-/_}" 2>&1 | tee "$log" || status=$?
    seconds[$stage]=$((SECONDS - start))
    read -r hit miss < <(ccache_counts)
    compiled=$((hit - hit_before + miss - miss_before))
    [ "$compiled" -eq 0 ] || hits[$stage]="$((hit - hit_before))/$compiled"
    if [ "$status" -ne 0 ]; then
        result[$stage]="FAILED (exit $status)"
        exit "$status"
    fi
    result[$stage]=ok
    # A Wine or arm64 stage that could not run at all says so in its SKIPPED: line, cause included.
    skipped=$(grep -m1 -E '^SKIPPED: (mingw-[a-z0-9_]+|arm64): ' "$log" || true)
    skipped=${skipped#SKIPPED: }
    [ -z "$skipped" ] || result[$stage]="SKIPPED: ${skipped#*: }"
done
