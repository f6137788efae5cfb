#!/usr/bin/env bash
# Builds Orvane for Linux and runs every test, checks the packages users install, runs the tests
# under the sanitizers, and the fuzzers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
# The packages that users install: the Debian package installed, started and purged, and the
# Windows installers run silently under Wine (scripts/package-test.sh).
scripts/package-test.sh
# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer for a
# short while (docs/FUZZING.md).
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan
scripts/fuzz.sh 20
