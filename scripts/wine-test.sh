#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 (64- and 32-bit) and runs the tests of both under Wine,
# against daytime servers on 127.0.0.1:
#   scripts/wine-test.sh [--daytimed PATH] [--no-i686 | --no-x86_64] [--no-build] [ctest arguments...]
# Without --daytimed the Linux daytime server is built in build/wine-tools. --no-i686 leaves the
# 32-bit program out (neither built nor run), --no-x86_64 the 64-bit one; scripts/test.sh runs each in
# a stage of its own. The ctest arguments (-R test_win32_dialogs, ...) go to the run of each build.
# Where 32-bit Wine cannot run, the 32-bit program is built but not run, and a line starting with
# "SKIPPED:" says why (scripts/i386.sh); the run still passes.
#
# Every test program writes its GoogleTest results; after each build's run the script lists the
# tests that skipped themselves, and fails when a program that CTest ran reported no test that ran:
# a run that tested nothing must not pass.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
daytimed=
build_i686=1
build_x86_64=1
build=1
inside_wine=
while [ $# -gt 0 ]; do
    case "$1" in
        --daytimed) daytimed=$2; shift 2 ;;
        --no-i686) build_i686=; shift ;;
        --no-x86_64) build_x86_64=; shift ;;
        --no-build) build=; shift ;;
        --inside-wine) shift; inside_wine=1 ;;
        *) break ;;
    esac
done

cd "$root"
jobs=$(nproc)

if [ -n "$build" ] && [ -z "$daytimed" ]; then
    cmake -S . -B build/wine-tools -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    cmake --build build/wine-tools --target orvane-daytimed -j"$jobs"
    daytimed=$root/build/wine-tools/bin/orvane-daytimed
fi

if [ -n "$build" ]; then
    if [ -n "$build_x86_64" ]; then
        cmake --preset mingw-x86_64 >/dev/null
        cmake --build --preset mingw-x86_64 -j"$jobs"
    fi
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
    no_i686=()
    [ -n "$build_i686" ] || no_i686=(--no-i686)
    [ -n "$build_x86_64" ] || no_i686+=(--no-x86_64)
    exec unshare --net bash -c 'ip link set lo up && exec "$@"' bash \
        "$0" --no-build "${no_i686[@]}" --daytimed "$daytimed" "$@"
fi

# Inside the Wine prefix and display (see the end of this script): each build's tests, then what
# GoogleTest reported for each program.
if [ -n "$inside_wine" ]; then
    presets=()
    [ -z "$build_x86_64" ] || presets+=(mingw-x86_64)
    [ -z "$build_i686" ] || presets+=(mingw-i686)
    status=0
    for preset in "${presets[@]}"; do
        results=$ORVANE_WINE_TMP/results/$preset
        rm -rf "$results"
        mkdir -p "$results"
        echo "== $preset: the Windows tests under Wine"
        # GoogleTest writes <program>.xml into the folder; the programs see it through drive Z:.
        preset_status=0
        under_qemu=()
        if [ -n "${ORVANE_WINE_UNDER_QEMU:-}" ]; then
            # Every 32-bit program takes about a minute to start under emulation, so each test
            # program is given half an hour instead of five minutes. The dialog tests are left out:
            # once a dialog opens a connection, a thread of 32-bit Wine meets a fault that the
            # emulator hands on as "unexpected trap -1", and Wine's handler retries it for ever.
            # Nor the platform and program tests: 32-bit Wine under the emulator stops with an
            # unhandled exception in a thread of its own once a URL is opened in WinINet's
            # asynchronous mode, and a program that dies after Wine's desktop has started leaves
            # CTest waiting on the desktop's copy of its output. The 64-bit run has them all.
            under_qemu=(--timeout 1800 -E '^(test_win32_dialogs|test_win32_platform|test_win32_program)$')
            echo "SKIPPED: $preset test_win32_dialogs: not run where 32-bit Wine runs under qemu-i386, whose faults Wine cannot handle; the other programs run" >&2
            echo "SKIPPED: $preset test_win32_platform, test_win32_program: not run where 32-bit Wine runs under qemu-i386, which stops once a URL is opened in WinINet's asynchronous mode; the 64-bit run has them" >&2
        fi
        GTEST_OUTPUT="xml:Z:$results/" ctest --preset "$preset" "${under_qemu[@]}" "$@" || preset_status=$?
        [ "$preset_status" -eq 0 ] || status=$preset_status

        ran_programs=$(ctest --preset "$preset" -N "${under_qemu[@]}" "$@" | sed -n 's/^ *Test *#[0-9]*: *//p')
        for program in $ran_programs; do
            xml=$results/$program.xml
            if [ ! -s "$xml" ]; then
                # A program that failed has been reported by CTest already.
                [ "$preset_status" -ne 0 ] || { echo "$preset $program: no GoogleTest results" >&2; status=1; }
                continue
            fi
            total=$(sed -n 's/.*<testsuites [^>]*tests="\([0-9]*\)".*/\1/p' "$xml" | head -n1)
            disabled=$(sed -n 's/.*<testsuites [^>]*disabled="\([0-9]*\)".*/\1/p' "$xml" | head -n1)
            skipped_names=$(awk '/<testcase /{ match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7);
                                               match($0, /classname="[^"]*"/); suite = substr($0, RSTART + 11, RLENGTH - 12) }
                                 /<skipped/{ print "  skipped: " suite "." name }' "$xml")
            skipped=0
            [ -z "$skipped_names" ] || skipped=$(printf '%s\n' "$skipped_names" | wc -l)
            ran=$(( ${total:-0} - ${disabled:-0} - skipped ))
            echo "$preset $program: ${total:-0} tests, $skipped skipped, $ran ran"
            [ -z "$skipped_names" ] || printf '%s\n' "$skipped_names"
            if [ "$ran" -le 0 ]; then
                echo "$preset $program: no test ran" >&2
                status=1
            fi
        done
    done
    exit "$status"
fi

# 32-bit Wine needs a kernel that runs 32-bit programs, or qemu-i386 (see i386.sh). Where neither
# can be had the 32-bit run is skipped, and says why: the program is still built, and its tests still
# compile.
. "$root/scripts/i386.sh"
i686_runner=none
[ -z "$build_i686" ] || i686_runner=$(i386_wine_runner)
if [ -n "$build_i686" ] && [ "$i686_runner" = none ]; then
    echo "SKIPPED: mingw-i686: 32-bit Wine cannot run here: $(i386_skip_cause); only the 32-bit build was checked" >&2
    build_i686=
    [ -n "$build_x86_64" ] || exit 0
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

# Where 32-bit programs run only under qemu, the 32-bit tests get a Wine run of their own inside
# its namespace; the 64-bit tests run natively, as they would on Windows.
status=0
if [ -n "$build_x86_64" ]; then
    presets=()
    [ -n "$build_i686" ] && [ "$i686_runner" != qemu ] || presets=(--no-i686)
    "$root/scripts/wine-env.sh" "$0" --no-build --inside-wine "${presets[@]}" --daytimed "$daytimed" "$@" || status=$?
fi
if [ -n "$build_i686" ] && { [ "$i686_runner" = qemu ] || [ -z "$build_x86_64" ]; }; then
    [ "$i686_runner" != qemu ] || echo "== mingw-i686: 32-bit Wine runs under qemu-i386 here, which takes some minutes"
    runner=()
    if [ "$i686_runner" = qemu ]; then
        runner=(with_qemu_i386)
        export ORVANE_WINE_UNDER_QEMU=1
    fi
    "${runner[@]}" "$root/scripts/wine-env.sh" "$0" --no-build --inside-wine --no-x86_64 --daytimed "$daytimed" "$@" ||
        status=$?
fi
exit "$status"
