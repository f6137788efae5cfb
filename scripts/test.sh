#!/usr/bin/env bash
# Builds Orvane for Linux and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux
