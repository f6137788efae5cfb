#!/usr/bin/env bash
# Builds the Linux program for 64-bit ARM boards and tests it as they would run it:
#   scripts/arm64-test.sh [--no-tests] [--no-clean-system]
# The preset linux-arm64 (Debian's cross compiler, the arm64 libraries of multiarch) builds the program,
# its tests and build/linux-arm64/orvane_<version>_arm64.deb, which lintian checks. The tests run under
# qemu-aarch64, and the package is installed without recommended packages on a clean arm64 Debian 12
# minbase (mmdebstrap --arch=arm64, kept in ~/.cache/orvane/clean-system-arm64 for 30 days with the
# packages that installing downloads), where an ordinary user starts it on a private X display.
# qemu-aarch64 runs arm64 programs through binfmt_misc: the machine's own registration, or else one in
# a user namespace of the run's own (Linux 6.7 and later). Where the arm64 packages (scripts/deps.sh
# arm64) are missing, a line starting with "SKIPPED:" says why and the script succeeds; so does a
# clean system that cannot be made because the Debian mirror cannot be reached.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tests=1
clean_system=1
inside=
while [ $# -gt 0 ]; do
    case "$1" in
        --no-tests) tests=; shift ;;
        --no-clean-system) clean_system=; shift ;;
        --inside) inside=$2; shift 2 ;;
        *) echo "usage: $0 [--no-tests] [--no-clean-system]" >&2; exit 2 ;;
    esac
done
cd "$root"
version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
build=$root/build/linux-arm64
package=$build/orvane_${version}_arm64.deb
clean_cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvane/clean-system-arm64

fail() {
    echo "arm64-test: FAIL: $*" >&2
    exit 1
}
pass() {
    echo "arm64-test: ok: $*"
}

# The qemu-aarch64 entry of Debian's qemu-user-static, with F: the emulator is opened when it is
# registered, so it also runs the programs of a chroot.
aarch64_binfmt=':qemu-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-aarch64-static:F'

# Runs a command in mount and PID namespaces of its own where arm64 programs run through qemu-aarch64.
# Without the machine's registration the namespaces belong to a user namespace of the run's own, whose
# binfmt_misc registers qemu-aarch64. Its root is the machine's, and its first 65536 user and group
# ids are the machine's too: a Debian system's files belong to several, and its programs change to them.
in_arm64_namespace() {
    local pid
    if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-aarch64 2>/dev/null; then
        unshare --mount --propagation private --pid --fork --mount-proc "$@"
        return
    fi
    unshare --user --mount --propagation private --pid --fork --mount-proc sh -c '
        until grep -q . /proc/self/uid_map; do sleep 0.05; done
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
            printf "%s" "$0" >/proc/sys/fs/binfmt_misc/register && exec "$@"' "$aarch64_binfmt" "$@" &
    pid=$!
    while [ "$(readlink "/proc/$pid/ns/user")" = "$(readlink /proc/self/ns/user)" ]; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    { echo "0 0 65536" >"/proc/$pid/uid_map" && echo "0 0 65536" >"/proc/$pid/gid_map"; } 2>/dev/null || kill "$pid" 2>/dev/null || true
    wait "$pid"
}

# Why arm64 programs cannot run here, or nothing when they can: the dynamic loader of libc6:arm64,
# a program of its own, is started through binfmt_misc.
arm64_run_cause() {
    [ -x /usr/bin/qemu-aarch64-static ] || { echo "qemu-user-static is not installed (scripts/deps.sh arm64 installs it)"; return; }
    in_arm64_namespace /lib/ld-linux-aarch64.so.1 --version >/dev/null 2>&1 ||
        echo "the machine registers no qemu-aarch64 in binfmt_misc, and one cannot be registered in a user namespace of its own (Linux 6.7 or later)"
}

# The SKIPPED line of a clean system that cannot be made or filled because the mirror cannot be
# reached: true when the log shows apt's fetch errors, false for any other failure.
skip_unreachable() {
    local reason
    reason=$(grep -m1 -E "Failed to fetch|Could not resolve|Temporary failure resolving|Unable to connect|Could not connect|Connection failed|Connection timed out|Network is unreachable" "$1") ||
        return 1
    echo "SKIPPED: arm64 clean-system install: the Debian mirror cannot be reached ($(printf '%s' "$reason" | sed -E 's/^([A-Z]: )?[[:space:]]*//'))"
}

# Inside the namespace: the tests, then the clean system in the scratch folder.
run_tests() {
    local started=$SECONDS
    # In a network namespace of their own with only the loopback interface up, as the Wine tests
    # run: nothing leaves the machine, and the tests of a name that must not resolve run too.
    unshare --net sh -c 'ip link set lo up && exec "$@"' sh ctest --preset linux-arm64 -j"$(nproc)"
    pass "the tests under qemu-aarch64 ($((SECONDS - started))s)"
}

run_clean_system() {
    local scratch=$1 started=$SECONDS tarball=$clean_cache/bookworm-minbase-arm64.tar
    mkdir -p "$clean_cache/archives/partial"
    if [ -z "$(find "$tarball" -mtime -30 2>/dev/null)" ]; then
        # The machine's Debian 12 mirrors, as apt knows them, for the arm64 indexes.
        apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ARCHITECTURE)' 'Identifier: Packages' |
            awk '$4 == "arm64" && $2 ~ /^bookworm(-updates|-security)?$/ { print "deb " $1 " " $2 " " $3 }' | sort -u >"$scratch/sources.list"
        local mirrors=()
        [ ! -s "$scratch/sources.list" ] || mirrors=("$scratch/sources.list")
        if ! mmdebstrap --arch=arm64 --variant=minbase --format=tar --skip=check/qemu --skip=chroot/mount/sys \
            --aptopt='APT::Install-Recommends "false"' bookworm "$tarball.new" "${mirrors[@]}" >"$scratch/mmdebstrap.log" 2>&1; then
            rm -f "$tarball.new"
            skip_unreachable "$scratch/mmdebstrap.log" && return
            cat "$scratch/mmdebstrap.log" >&2
            fail "mmdebstrap --arch=arm64 could not make a Debian 12 minbase"
        fi
        mv "$tarball.new" "$tarball"
    fi
    local clean=$scratch/clean
    mkdir "$clean"
    # A user namespace makes no device nodes: the machine's own are bound in their place.
    tar -C "$clean" -xf "$tarball" --exclude='./dev/*'
    mkdir -p -m 1777 "$clean/tmp/.X11-unix"
    cp -L /etc/resolv.conf "$clean/etc/resolv.conf" 2>/dev/null || true
    cp "$package" "$clean/tmp/"
    # These mounts live in this namespace and end with it.
    local node
    for node in null zero full random urandom tty; do
        touch "$clean/dev/$node"
        mount --bind "/dev/$node" "$clean/dev/$node"
    done
    mount -t proc proc "$clean/proc"
    mount --bind /tmp/.X11-unix "$clean/tmp/.X11-unix"
    mount --bind "$clean_cache/archives" "$clean/var/cache/apt/archives"
    local made=$SECONDS
    pass "arm64 Debian 12 minbase ready ($((made - started))s)"

    in_clean() { chroot "$clean" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
    if ! in_clean sh -c 'apt-get update -qq --error-on=any && apt-get install -y -qq --no-install-recommends "/tmp/$1"' \
        sh "$(basename "$package")" >"$scratch/install.log" 2>&1; then
        skip_unreachable "$scratch/install.log" && return
        cat "$scratch/install.log" >&2
        fail "apt-get install --no-install-recommends on a clean arm64 Debian 12"
    fi
    local installed=$SECONDS
    pass "apt-get install --no-install-recommends ./$(basename "$package") on a clean arm64 Debian 12 ($((installed - made))s)"

    in_clean useradd --create-home --user-group clockuser
    . "$root/scripts/xvfb.sh"
    start_xvfb "$scratch"
    in_clean setpriv --reuid=clockuser --regid=clockuser --init-groups \
        env HOME=/home/clockuser DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb /usr/bin/orvane >"$scratch/orvane.log" 2>&1 &
    local pid=$!
    if ! wait_for_window '"Orvane": \("orvane" ' "$pid"; then
        xwininfo -root -tree >&2 || true
        cat "$scratch/orvane.log" >&2
        kill "$pid" 2>/dev/null || true
        stop_xvfb
        fail "/usr/bin/orvane showed no window titled Orvane on a clean arm64 Debian 12"
    fi
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    stop_xvfb
    pass "/usr/bin/orvane, started by an ordinary user, shows its main window on a clean arm64 Debian 12 ($((SECONDS - installed))s)"
}

if [ -n "$inside" ]; then
    [ -z "$tests" ] || run_tests
    [ -z "$clean_system" ] || run_clean_system "$inside"
    exit 0
fi

# The arm64 group is optional: without it there is nothing to build.
state=$root/build/deps-arm64.txt
if [ -s "$state" ]; then
    echo "SKIPPED: arm64: the arm64 packages could not be installed: $(head -n1 "$state")" >&2
    exit 0
fi
for need in aarch64-linux-gnu-g++ qt6-base-dev:arm64 libcurl4-openssl-dev:arm64 libsystemd-dev:arm64 libgtest-dev:arm64; do
    if [ "${need%:arm64}" != "$need" ]; then
        dpkg-query -W -f='${Status}' "$need" 2>/dev/null | grep -q 'install ok installed' && continue
    else
        command -v "$need" >/dev/null && continue
    fi
    echo "SKIPPED: arm64: ${need%-g++} is not installed (scripts/deps.sh arm64 installs it)" >&2
    exit 0
done

started=$SECONDS
cmake --preset linux-arm64 >/dev/null
cmake --build --preset linux-arm64 --target all orvane_deb
pass "the arm64 build ($((SECONDS - started))s)"

started=$SECONDS
[ -f "$package" ] || fail "no package $package"
program=$(dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/lib/orvane/orvane | file -b -)
[[ $program == *'ARM aarch64'*', stripped'* ]] || fail "the packaged program is no stripped arm64 program: $program"
depends=$(dpkg-deb -f "$package" Depends)
[[ $depends == *libqt6widgets6* ]] || fail "Depends lacks the Qt libraries: $depends"
lintian --fail-on error,warning "$package" || fail "lintian"
pass "$(basename "$package"): Depends: $depends; lintian --fail-on error,warning ($((SECONDS - started))s)"

if [ -z "$tests" ] && [ -z "$clean_system" ]; then
    exit 0
fi
cause=$(arm64_run_cause)
if [ -n "$cause" ]; then
    echo "SKIPPED: arm64: arm64 programs cannot run here: $cause; only the build and the package were checked" >&2
    exit 0
fi
if [ -n "$clean_system" ] && [ "$(id -u)" -ne 0 ]; then
    echo "arm64-test: the clean arm64 system needs root; skipped"
    clean_system=
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-arm64.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
options=()
[ -n "$tests" ] || options+=(--no-tests)
[ -n "$clean_system" ] || options+=(--no-clean-system)
in_arm64_namespace "$0" "${options[@]}" --inside "$scratch"
echo "arm64-test: all checks passed"
