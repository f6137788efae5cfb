#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 (32- and 64-bit) and runs the 64-bit tests under Wine,
# against daytime servers on 127.0.0.1:
#   scripts/wine-test.sh [--daytimed PATH] [--no-i686] [ctest arguments...]
# Without --daytimed the Linux daytime server is built in build/wine-tools. The 32-bit program and
# its tests are only built: running them needs a kernel with 32-bit emulation, which the project's
# machines lack.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
daytimed=
build_i686=1
build=1
while [ $# -gt 0 ]; do
    case "$1" in
        --daytimed) daytimed=$2; shift 2 ;;
        --no-i686) build_i686=; shift ;;
        --no-build) build=; shift ;;
        *) break ;;
    esac
done

cd "$root"
jobs=$(nproc)

if [ -n "$build" ] && [ -z "$daytimed" ]; then
    cmake -S . -B build/wine-tools -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
    cmake --build build/wine-tools --target orvane-daytimed -j"$jobs"
    daytimed=$root/build/wine-tools/bin/orvane-daytimed
fi

if [ -n "$build" ]; then
    cmake --preset mingw-x86_64 >/dev/null
    cmake --build --preset mingw-x86_64 -j"$jobs"
    if [ -n "$build_i686" ]; then
        cmake --preset mingw-i686 >/dev/null
        cmake --build --preset mingw-i686 -j"$jobs"
    fi
fi

# The tests look up a name that must not resolve (.invalid); a resolver would still ask its name
# server. Where a network namespace of our own can be had (as root), the tests run in one with only
# the loopback interface up, so no query leaves the machine; the tests of that lookup run only there.
if [ -z "${ORVANE_PRIVATE_NETWORK:-}" ] && unshare --net true 2>/dev/null; then
    export ORVANE_PRIVATE_NETWORK=1
    exec unshare --net bash -c 'ip link set lo up && exec "$@"' bash \
        "$0" --no-build --daytimed "$daytimed" "$@"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-daytimed.XXXXXX")
daytimed_pid=
stop_daytimed() {
    local status=$?
    if [ -n "$daytimed_pid" ]; then
        kill "$daytimed_pid" 2>/dev/null || true
        wait "$daytimed_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap stop_daytimed EXIT
trap 'exit 130' INT TERM

# One server per scenario; the file appears once every one of them listens.
export ORVANE_DAYTIME_PORTS_FILE=$scratch/ports
"$daytimed" --ports-file "$ORVANE_DAYTIME_PORTS_FILE" &
daytimed_pid=$!
for _ in $(seq 1 100); do
    [ -s "$ORVANE_DAYTIME_PORTS_FILE" ] && break
    kill -0 "$daytimed_pid" 2>/dev/null || { echo "orvane-daytimed did not start" >&2; exit 1; }
    sleep 0.1
done

"$root/scripts/wine-env.sh" ctest --preset mingw-x86_64 "$@"
