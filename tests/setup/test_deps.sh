#!/usr/bin/env bash
# Runs scripts/deps.sh against fake apt-get, dpkg, dpkg-query and id (tests/setup/fake-apt): a
# failing mirror and a root or non-root user of the test's own, without network or root.
#   tests/setup/test_deps.sh scripts/deps.sh
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-test-deps.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# A copy of the script, so that what it keeps in build/ stays in the scratch folder.
mkdir -p "$scratch/bin" "$scratch/tree/scripts"
cp "$1" "$scratch/tree/scripts/deps.sh"
for tool in apt-get dpkg dpkg-query id; do ln -s "$here/fake-apt" "$scratch/bin/$tool"; done
failures=0

# run UID "ABSENT PACKAGES" GROUPS...: deps.sh's output in $out, its exit status in $status.
run() {
    export FAKE=$scratch/machine FAKE_UID=$1
    rm -rf "$FAKE" "$scratch/tree/build" && mkdir "$FAKE" && touch "$FAKE/archs" "$FAKE/calls"
    printf '%s\n' $2 >"$FAKE/absent"
    out=$(PATH=$scratch/bin:$PATH "$scratch/tree/scripts/deps.sh" "${@:3}" 2>&1)
    status=$?
}
expect() {
    if ! eval "$2"; then
        echo "FAIL: $1 [$2]; deps.sh said (status $status):"; printf '%s\n' "$out"
        failures=$((failures + 1))
    fi
}
lines() { printf '%s\n' "$out" | grep -c -E -- "$1"; }

FAKE_UPDATE_FAIL=1 run 0 "qt6-base-dev googletest wine" app test
expect "update failing on one index" '[ $status -eq 0 ] && [ "$(cat $FAKE/absent)" = wine ]'
expect "the failed index in one line" '[ $(lines binary-i386/Packages.xz) -eq 1 ]'
expect "update retried" 'grep -q "^apt-get update .*Acquire::Retries=" $FAKE/calls'

# Each optional group refused by the mirror: its architecture added and taken back, the rest installed.
for case in "windows32 wine32:i386" "arm64 qt6-base-dev:arm64"; do
    read -r group package <<<"$case"
    FAKE_REFUSE=$package run 0 "qt6-base-dev $package qemu-user-static" app "$group"
    expect "$group: $package refused, app installed" '[ $status -eq 0 ] && ! grep -qx qt6-base-dev $FAKE/absent'
    expect "$group: the reason in one line" '[ $(lines "^deps.sh: SKIPPED $group: .*Depends: libwine:i386") -eq 1 ]'
    expect "$group: the reason kept for its stage" 'grep -q "Depends: libwine:i386" "$scratch/tree/build/deps-$group.txt"'
    expect "$group: the architecture taken back" '[ ! -s $FAKE/archs ]'
    expect "$group: an apt call of its own" '[ $(grep -c "^apt-get install" $FAKE/calls) -eq 2 ] && grep "^apt-get install" $FAKE/calls | tail -n1 | grep -q "[0-9] $package qemu-user-static$"'
done
FAKE_REFUSE=qt6-base-dev:arm64 run 0 "wine32:i386 qt6-base-dev:arm64" windows32 arm64
expect "arm64 refused, windows32 installed" '[ "$(cat $FAKE/archs)" = i386 ] && [ "$(cat $FAKE/absent)" = qt6-base-dev:arm64 ] && [ ! -e "$scratch/tree/build/deps-windows32.txt" ]'

run 0 "" app windows32 arm64
expect "nothing missing, nothing run" '[ $status -eq 0 ] && ! grep -q -e "^apt-get" -e "^dpkg --add" $FAKE/calls'

FAKE_UNKNOWN=libgtest-dev run 0 "libgtest-dev wine" app test
expect "a required package missing on the mirror" '[ $status -ne 0 ] && [ $(lines "^E: Unable to locate package libgtest-dev") -eq 1 ]'

run 1000 "qt6-base-dev libcurl4-openssl-dev wine googletest wine32:i386 qt6-base-dev:arm64" app windows32 arm64
sudo_line=$(printf '%s\n' "$out" | grep 'sudo apt-get install')
asked=$(printf '%s\n' ${sudo_line##*--no-install-recommends} | sort | xargs)
expect "not root: one sudo line" '[ $status -eq 1 ] && [ $(lines "sudo apt-get install") -eq 1 ]'
expect "not root: exactly the missing packages" '[ "$asked" = "libcurl4-openssl-dev qt6-base-dev qt6-base-dev:arm64 wine32:i386" ]'
expect "not root: the i386 and arm64 architectures first" '[[ $sudo_line == *"sudo dpkg --add-architecture i386 && "* ]] && [[ $sudo_line == *"sudo dpkg --add-architecture arm64 && "* ]]'
run 1000 "wine32:i386" windows32 arm64
expect "not root, only an optional group missing: no failure" '[ $status -eq 0 ] && [ $(lines "^deps.sh: until then the stages that need windows32 are skipped") -eq 1 ]'
expect "not root: nothing installed" '! grep -q -e "^apt-get" -e "^dpkg --add" $FAKE/calls'

[ "$failures" -eq 0 ] && echo "deps.sh: all cases passed"
exit "$failures"
