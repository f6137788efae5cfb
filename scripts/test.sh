#!/usr/bin/env bash
# Builds Orvane for Linux and runs every test, checks the packages users install, runs the tests
# under the sanitizers, and the fuzzers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
# What the Windows tests under Wine ran and skipped, which CTest keeps to itself when they pass.
grep -h -E '^(mingw-[a-z0-9_]+ test_[a-z0-9_]+: [0-9]+ tests|  skipped: |SKIPPED: )' \
    build/linux/Testing/Temporary/LastTest.log || true
# The packages that users install: the Debian package installed, started and purged, and the
# Windows installers run silently under Wine (scripts/package-test.sh).
scripts/package-test.sh
# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer for a
# short while (docs/FUZZING.md).
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan
scripts/fuzz.sh 20
