#!/usr/bin/env bash
# Builds the Linux program alone (no tests, benchmarks or Windows build) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh app
cmake --preset linux-app >/dev/null
cmake --build --preset linux-app --target orvane
exec build/linux-app/bin/orvane "$@"
