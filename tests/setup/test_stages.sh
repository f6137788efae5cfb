#!/usr/bin/env bash
# Runs scripts/test.sh with stand-ins for the stage scripts and for ccache: the stage table's
# result and cache hits of a stage that skipped itself, compiled, or failed.
#   tests/setup/test_stages.sh scripts/test.sh
set -uo pipefail
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-test-stages.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/tree/scripts"
cp "$1" "$scratch/tree/scripts/test.sh"
export FAKE=$scratch
# ccache's counters live in $FAKE/hit and $FAKE/miss; the arm64 stage compiles 5 from the cache and 2 anew.
printf '#!/bin/sh\necho "direct_cache_hit $(cat $FAKE/hit)"; echo "preprocessed_cache_hit 1"; echo "cache_miss $(cat $FAKE/miss)"\n' >"$scratch/bin/ccache"
printf '#!/bin/sh\nexit 0\n' >"$scratch/tree/scripts/deps.sh"
printf '#!/bin/sh\necho 9 >$FAKE/hit; echo 6 >$FAKE/miss\necho "SKIPPED: arm64: the arm64 packages could not be installed: qt6-base-dev:arm64 : Depends: libqt6core6:arm64"\nexit ${FAKE_STATUS:-0}\n' \
    >"$scratch/tree/scripts/arm64-test.sh"
chmod +x "$scratch/bin/ccache" "$scratch/tree/scripts/"*.sh
failures=0
for case in "0|^arm64 build, tests, package +[0-9]+  5/7 +SKIPPED: the arm64 packages could not be installed: qt6-base-dev:arm64 : Depends: libqt6core6:arm64$" \
            "3|^arm64 build, tests, package +[0-9]+  5/7 +FAILED \(exit 3\)$"; do
    status=${case%%|*}
    echo 4 >"$scratch/hit"; echo 4 >"$scratch/miss"
    out=$(FAKE_STATUS=$status PATH=$scratch/bin:$PATH "$scratch/tree/scripts/test.sh" arm64 2>&1)
    got=$?
    if [ "$got" -ne "$status" ] || ! printf '%s\n' "$out" | grep -q -E -- "${case#*|}"; then
        echo "FAIL: stage exit $status: test.sh exited $got; its table:"; printf '%s\n' "$out" | sed -n '/== Stages/,$p'
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "test.sh: all cases passed"
exit "$failures"
