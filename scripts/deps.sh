#!/usr/bin/env bash
# Installs the missing Debian 12 packages of the groups a command needs:
#   scripts/deps.sh [group...]      (app test windows windows32 packages fuzz; no group: all of them;
#                                    screenshots, for the scripts that retake docs/ screenshots, only by name)
# As root it installs them; otherwise it prints the one sudo command that would, and fails when a
# required package is missing. windows32 is optional: when the mirror cannot give it, the script
# says why in one line (kept in build/deps-windows32.txt for the 32-bit Wine runs) and succeeds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
state=$root/build/deps-windows32.txt

declare -A group
# Building and starting the Linux program. windres of MinGW's binutils (not its compilers) turns
# res/orvane.rc into the resource image that the Linux program carries.
group[app]="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev
    libsystemd-dev binutils-mingw-w64-x86-64"
# The Linux tests and benchmarks: GoogleTest, Google Benchmark, QtTest, a private D-Bus, the locales
# the time texts are checked in, a private X display and network namespace, a TLS server on 127.0.0.1,
# zlib for the PNG icons that tools/mkicon draws, and Debian's default font, in which the Qt tests
# check that no dialog cuts a text off.
group[test]="googletest libgtest-dev libgmock-dev libbenchmark-dev libqt6test6 dbus-daemon locales
    xvfb xauth iproute2 openssl zlib1g-dev fonts-dejavu-core"
# The Windows programs (64- and 32-bit, both amd64 compilers) and 64-bit Wine to run their tests,
# with the X libraries that Wine's X11 driver loads when it finds them (Debian only recommends them).
group[windows]="binutils-mingw-w64-i686 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64 fonts-wine xvfb xauth iproute2
    libxrender1 libxcursor1 libxi6 libxrandr2 libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1"
# 32-bit Wine, which needs the i386 architecture; where the kernel runs no 32-bit programs it runs
# under qemu-i386 (scripts/i386.sh).
group[windows32]="wine32:i386 qemu-user-static"
# The packages users install (scripts/package-test.sh): the Debian package's tools and checkers, a
# clean system to install it into, a booted one to press Set Clock in (scripts/booted-check.sh), and
# the Windows installers' compiler.
group[packages]="dpkg-dev lintian desktop-file-utils appstream file libcap2-bin x11-utils xvfb xauth
    mmdebstrap systemd-container xdotool nsis"
# The fuzzers (scripts/fuzz.sh): clang with its libFuzzer and sanitizer runtimes.
group[fuzz]="clang-14 libclang-rt-14-dev"
# The screenshots in docs/ (scripts/linux-screenshots.sh, scripts/wine-screenshots.sh): keys and
# screen grabs. Only those scripts ask for it.
group[screenshots]="xdotool imagemagick x11-utils"

all=(app test windows windows32 packages fuzz)
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=("${all[@]}")

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
has_i386() {
    { dpkg --print-architecture; dpkg --print-foreign-architectures; } | grep -qx i386
}

declare -A seen
required=()
optional=()
for name in "${groups[@]}"; do
    if [ -z "${group[$name]+set}" ]; then
        echo "usage: $0 [group...]; groups: ${all[*]} screenshots" >&2
        exit 2
    fi
    for package in ${group[$name]}; do
        [ -z "${seen[$package]+set}" ] || continue
        seen[$package]=1
        installed "$package" && continue
        if [ "$name" = windows32 ]; then optional+=("$package"); else required+=("$package"); fi
    done
done
[ -n "${seen[wine32:i386]+set}" ] && [ ${#optional[@]} -eq 0 ] && rm -f "$state"
[ ${#required[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    add_i386=
    [ ${#optional[@]} -eq 0 ] || has_i386 || add_i386="sudo dpkg --add-architecture i386 && "
    echo "Orvane needs these Debian packages; install them once with:" >&2
    echo "  ${add_i386}sudo apt-get update && sudo apt-get install -y --no-install-recommends ${required[*]} ${optional[*]}" >&2
    [ ${#required[@]} -eq 0 ] || exit 1
    echo "deps.sh: the 32-bit Windows tests will be skipped until then" >&2
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves an index whose size does not match its Release file;
# a retry often gets the right one.
retries=(-o Acquire::Retries=3)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-deps.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# apt-get update fails when any one index fails, yet keeps every list it did get (and the old
# lists of the indexes it did not): each failed index is one line, and the install goes on.
failed_indexes=
updated=
update() {
    updated=1
    apt-get update -qq "${retries[@]}" >"$scratch/update.log" 2>&1 && return 0
    failed_indexes=$(grep -E '^[EW]: Failed to fetch ' "$scratch/update.log" || grep -E '^E: ' "$scratch/update.log" | head -n1 || true)
    [ -n "$failed_indexes" ] || failed_indexes="E: apt-get update failed"
    printf '%s\n' "$failed_indexes" | sed 's/^[EW]: /deps.sh: apt-get update goes on without a package index: /; s/ *\[IP: [^]]*\]//' >&2
}

if [ ${#required[@]} -gt 0 ]; then
    update
    # apt-get says itself why a package cannot be installed; nothing can be built without it.
    apt-get install -y -qq --no-install-recommends "${retries[@]}" "${required[@]}" || {
        status=$?
        echo "deps.sh: the packages of ${groups[*]} could not be installed (see apt-get above)" >&2
        exit "$status"
    }
fi

if [ ${#optional[@]} -gt 0 ]; then
    added_i386=
    if ! has_i386; then
        dpkg --add-architecture i386
        added_i386=1
        updated=
    fi
    [ -n "$updated" ] || update
    if apt-get install -y -qq --no-install-recommends "${retries[@]}" "${optional[@]}" >"$scratch/install.log" 2>&1; then
        rm -f "$state"
        exit 0
    fi
    # apt's own reason in one line: the unmet dependency (i386 and amd64 versions that differ) or
    # its error (no i386 packages on the mirror), after a failed i386 index when there was one.
    reason=$(grep -m1 -E ' Depends: | Breaks: ' "$scratch/install.log" || grep -m1 '^E: ' "$scratch/install.log" || echo "apt-get install failed")
    reason=$(echo "$reason" | sed 's/^ *//; s/  */ /g')
    index=$(printf '%s\n' "$failed_indexes" | grep -m1 'i386' | sed 's/^[EW]: Failed to fetch //; s/ *\[IP: [^]]*\]//' || true)
    [ -z "$index" ] || reason="the i386 package index could not be fetched ($index); apt: $reason"
    # An architecture added here with nothing of it installed would only make every later apt-get
    # update fetch its indexes again; dpkg refuses to remove one that has packages installed.
    [ -z "$added_i386" ] || dpkg --remove-architecture i386 2>/dev/null || true
    mkdir -p "$(dirname "$state")"
    { echo "$reason"; cat "$scratch/install.log"; } >"$state"
    echo "deps.sh: SKIPPED windows32: ${optional[*]} could not be installed, the 32-bit Wine tests will be skipped: $reason" >&2
fi
