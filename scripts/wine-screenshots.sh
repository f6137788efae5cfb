#!/usr/bin/env bash
# Takes the screenshots of the Windows program under Wine that docs/ shows:
#   scripts/wine-screenshots.sh [path/to/orvane.exe]   (default build/mingw-x86_64/bin/orvane.exe)
# Needs xdotool (keys) and ImageMagick's import (screen grabs).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" screenshots
exe=$(realpath "${1:-$root/build/mingw-x86_64/bin/orvane.exe}")

if [ -z "${WINEPREFIX:-}" ]; then
    exec "$root/scripts/wine-env.sh" "$0" "$exe"
fi

# The Xvfb root is black and the program's windows are the only ones on it, so trimming the black
# border leaves exactly the windows.
grab() { import -window root -trim +repage "$1"; }

cd "$(dirname "$exe")"
wine "$(basename "$exe")" 2>/dev/null &
program=$!
# The first start in a new prefix takes a few seconds; the main window is up when it has a size.
for _ in $(seq 1 100); do
    xdotool search --name '^Orvane$' >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 1
grab "$root/docs/screenshot-wine-main.png"
xdotool key alt+c
sleep 1
grab "$root/docs/screenshot-wine-configure.png"
xdotool key Escape
sleep 0.5
xdotool key alt+x
wait "$program" || true
