#!/usr/bin/env bash
# Installs the missing Debian 12 packages of the groups a command needs:
#   scripts/deps.sh [group...]      (app test windows windows32 packages fuzz arm64; no group: all of
#                                    them; screenshots, for the scripts that retake docs/ screenshots,
#                                    only by name)
# As root it installs them; otherwise it prints the one sudo command that would, and fails when a
# required package is missing. windows32 and arm64 are optional, each of another architecture and
# installed by an apt call of its own: when the mirror cannot give one, the script says why in one
# line (kept in build/deps-<group>.txt for the stage that needs it) and succeeds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

declare -A group
# Building and starting the Linux program. windres of MinGW's binutils (not its compilers) turns
# res/orvane.rc into the resource image that the Linux program carries. Every build goes through
# ccache, whose cache is kept in the user's cache folder.
group[app]="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev
    libsystemd-dev binutils-mingw-w64-x86-64 ccache"
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
# The program for 64-bit ARM (scripts/arm64-test.sh): Debian's cross compiler with the arm64 libraries
# the program and its tests link; qemu-aarch64 runs the tests and the clean arm64 system.
group[arm64]="g++-aarch64-linux-gnu qt6-base-dev:arm64 libcurl4-openssl-dev:arm64 libsystemd-dev:arm64
    libgtest-dev:arm64 libgmock-dev:arm64 libqt6test6:arm64 qemu-user-static"
# The fuzzers (scripts/fuzz.sh): clang with its libFuzzer and sanitizer runtimes.
group[fuzz]="clang-14 libclang-rt-14-dev"
# The screenshots in docs/ (scripts/linux-screenshots.sh, scripts/wine-screenshots.sh): keys and
# screen grabs. Only those scripts ask for it.
group[screenshots]="xdotool imagemagick x11-utils"

all=(app test windows windows32 packages fuzz arm64)
# The optional groups and the architecture each needs.
declare -A foreign=([windows32]=i386 [arm64]=arm64)
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=("${all[@]}")

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
has_arch() {
    { dpkg --print-architecture; dpkg --print-foreign-architectures; } | grep -qx "$1"
}

declare -A seen=() optional=()
required=()
for name in "${groups[@]}"; do
    if [ -z "${group[$name]+set}" ]; then
        echo "usage: $0 [group...]; groups: ${all[*]} screenshots" >&2
        exit 2
    fi
    for package in ${group[$name]}; do
        [ -z "${seen[$package]+set}" ] || continue
        seen[$package]=1
        installed "$package" && continue
        if [ -n "${foreign[$name]+set}" ]; then optional[$name]+=" $package"; else required+=("$package"); fi
    done
    # A group that is whole again leaves no reason to skip its stage.
    [ -z "${foreign[$name]+set}" ] || [ -n "${optional[$name]+set}" ] || rm -f "$root/build/deps-$name.txt"
done
[ ${#required[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    add_archs=
    for name in "${!optional[@]}"; do
        has_arch "${foreign[$name]}" || add_archs+="sudo dpkg --add-architecture ${foreign[$name]} && "
    done
    echo "Orvane needs these Debian packages; install them once with:" >&2
    echo "  ${add_archs}sudo apt-get update && sudo apt-get install -y --no-install-recommends ${required[*]}${optional[*]}" >&2
    [ ${#required[@]} -eq 0 ] || exit 1
    echo "deps.sh: until then the stages that need ${!optional[*]} are skipped" >&2
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves an index whose size does not match its Release file;
# a retry often gets the right one. Another apt run on the machine is waited for, not failed on.
retries=(-o Acquire::Retries=3 -o DPkg::Lock::Timeout=1200)
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

# An optional group of another architecture, in an apt call of its own: install_optional GROUP.
install_optional() {
    local name=$1 arch=${foreign[$1]} added='' reason index state=$root/build/deps-$1.txt
    if ! has_arch "$arch"; then
        dpkg --add-architecture "$arch"
        added=1
        updated=
    fi
    [ -n "$updated" ] || update
    # shellcheck disable=SC2086 # the group's packages are words
    if apt-get install -y -qq --no-install-recommends "${retries[@]}" ${optional[$name]} >"$scratch/install.log" 2>&1; then
        rm -f "$state"
        return 0
    fi
    # apt's own reason in one line: the unmet dependency (foreign and amd64 versions that differ) or
    # its error (no such packages on the mirror), after a failed index of the architecture if any.
    reason=$(grep -m1 -E ' Depends: | Breaks: ' "$scratch/install.log" || grep -m1 '^E: ' "$scratch/install.log" || echo "apt-get install failed")
    reason=$(echo "$reason" | sed 's/^ *//; s/  */ /g')
    index=$(printf '%s\n' "$failed_indexes" | grep -m1 "binary-$arch/" | sed 's/^[EW]: Failed to fetch //; s/ *\[IP: [^]]*\]//' || true)
    [ -z "$index" ] || reason="the $arch package index could not be fetched ($index); apt: $reason"
    # An architecture added here with nothing of it installed would only make every later apt-get
    # update fetch its indexes again; dpkg refuses to remove one that has packages installed.
    if [ -n "$added" ] && dpkg --remove-architecture "$arch" 2>/dev/null; then
        updated=
    fi
    mkdir -p "$(dirname "$state")"
    { echo "$reason"; cat "$scratch/install.log"; } >"$state"
    case $name in
        windows32) echo "deps.sh: SKIPPED windows32:${optional[$name]} could not be installed, the 32-bit Wine tests will be skipped: $reason" >&2 ;;
        *) echo "deps.sh: SKIPPED $name:${optional[$name]} could not be installed, the $name stage will be skipped: $reason" >&2 ;;
    esac
}
for name in windows32 arm64; do
    [ -z "${optional[$name]+set}" ] || install_optional "$name"
done
