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
# border leaves exactly the windows; the title goes unused.
grab() { import -window root -trim +repage "$2"; }
. "$root/scripts/screenshots.sh"

cd "$(dirname "$exe")"
wine "$(basename "$exe")" 2>/dev/null &
shoot_windows $! "$root/docs/screenshot-wine-main.png" "$root/docs/screenshot-wine-configure.png"
