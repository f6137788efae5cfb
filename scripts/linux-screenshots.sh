#!/usr/bin/env bash
# Takes the screenshots of the Linux program that docs/ shows, on a private Xvfb display with Qt's X11
# platform and Debian's default font (DejaVu Sans, from fonts-dejavu-core):
#   scripts/linux-screenshots.sh [path/to/orvane]   (default build/linux/bin/orvane)
# Needs xdotool (keys) and ImageMagick's import (screen grabs).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" screenshots
program=$(realpath "${1:-$root/build/linux/bin/orvane}")
scratch=$(mktemp -d)
. "$root/scripts/xvfb.sh"
. "$root/scripts/screenshots.sh"
trap 'stop_xvfb; rm -rf "$scratch"' EXIT
start_xvfb "$scratch"

# No window manager draws frames here, so a grab of the window with this title is its client area.
grab() { import -window "$(xdotool search --onlyvisible --name "^$1\$" | head -n1)" "$2"; }

# The program's settings go to the scratch folder, not to the user's.
HOME=$scratch XDG_CONFIG_HOME=$scratch QT_QPA_PLATFORM=xcb "$program" 2>"$scratch/program.log" &
shoot_windows $! "$root/docs/screenshot-linux-main.png" "$root/docs/screenshot-linux-configure.png"
