#!/usr/bin/env bash
# Builds Orvane for Linux and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target orvane
exec build/linux/bin/orvane "$@"
