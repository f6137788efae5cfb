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
    scripts/deps.sh
    cmake --preset linux >/dev/null
fi
cmake --build "$build" --target orvane orvane-startup-probe >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-startup.XXXXXX")
xvfb_pid=
cleanup() {
    local status=$?
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display of our own: Xvfb picks a free number and writes it to the descriptor it is given.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
[ -s "$scratch/display" ] || { cat "$scratch/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"
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
