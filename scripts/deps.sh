#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Orvane need, when any is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libqt6test6
    libcurl4-openssl-dev openssl
    zlib1g-dev  # the PNG images that tools/mkicon draws
    libsystemd-dev dbus-daemon locales
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    xvfb xauth iproute2
    # Debian's default font, in which the Qt tests check that no dialog cuts a text off.
    fonts-dejavu-core
)

# The Windows program: the MinGW-w64 compilers, and Wine with its fonts to run the Windows tests of
# both programs. The 32-bit program runs on Debian's 32-bit Wine (wine32 of the i386 architecture,
# which is added below when missing).
packages+=(
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64 wine32:i386 fonts-wine
    # Where the kernel runs no 32-bit programs, the 32-bit tests and the 32-bit installer's check
    # run 32-bit Wine under user-mode emulation, registered in a namespace of their own (scripts/i386.sh).
    qemu-user-static
    # Wine's X11 driver loads these X libraries when it finds them; Debian only recommends them.
    libxrender1 libxcursor1 libxi6 libxrandr2 libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1
)

# The fuzzers (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes.
packages+=(clang-14 libclang-rt-14-dev)

# The packages users install (scripts/package-test.sh): the Debian package's tools and checkers
# (dpkg-shlibdeps, lintian, mmdebstrap for a clean Debian 12, desktop-file-validate, appstreamcli,
# file, getcap, xwininfo) and the Windows installers' compiler.
packages+=(
    dpkg-dev lintian mmdebstrap desktop-file-utils appstream file libcap2-bin x11-utils
    nsis
)

# The screenshots in docs/ (scripts/linux-screenshots.sh, scripts/wine-screenshots.sh): keys and
# screen grabs.
packages+=(xdotool imagemagick)

# wine32:i386 can be installed only once dpkg knows the i386 architecture.
add_i386=
if ! { dpkg --print-architecture; dpkg --print-foreign-architectures; } | grep -qx i386; then
    add_i386=1
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && [ -z "$add_i386" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Orvane needs these Debian packages: ${missing[*]}" >&2
    echo "Install them once with:" >&2
    [ -z "$add_i386" ] || echo "  sudo dpkg --add-architecture i386" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
[ -z "$add_i386" ] || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
