#!/usr/bin/env bash
# Measures the Linux program's start-up, to its main window mapped, and its peak memory, on a private
# X display (Xvfb) with no window manager:
#   scripts/bench-startup.sh [runs] [build folder]     (default: 10 runs of build/linux)
# Each run starts the program, waits for its window titled "Orvane" to be mapped, closes it with
# WM_DELETE_WINDOW as a close box does, and waits for the program to end (bench/startup_probe.cpp).
# The first run only warms the disk cache and is not counted. Prints every run and the medians.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
build=${2:-$root/build/linux}

cd "$root"
if [ "$build" = "$root/build/linux" ]; then
    scripts/deps.sh app test
    cmake --preset linux >/dev/null
fi
cmake --build "$build" --target orvane orvane-startup-probe >/dev/null

. "$root/scripts/xvfb.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-startup.XXXXXX")
cleanup() {
    local status=$?
    stop_xvfb
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "$scratch"
export QT_QPA_PLATFORM=xcb
# The program's settings go to a folder of this run, never the user's own.
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

probe=$build/bin/orvane-startup-probe
program=$build/bin/orvane
"$probe" "$program" >/dev/null
results=()
for run in $(seq 1 "$runs"); do
    line=$("$probe" "$program")
    echo "run $run: $line"
    results+=("$line")
done

median() {  # the median of the field $1 over the runs
    printf '%s\n' "${results[@]}" | sed -n "s/.*$1=\([0-9.]*\).*/\1/p" | sort -n |
        awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
echo "median of $runs runs: start-up to the main window $(median startup_ms) ms," \
     "peak resident memory $(median peak_rss_kib) KiB, closing $(median close_ms) ms"
