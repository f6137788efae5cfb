#!/usr/bin/env bash
# Runs a command under a fresh Wine prefix on a private X display, then tears both down:
#   scripts/wine-env.sh ctest --test-dir build/mingw-x86_64
# The command sees WINEPREFIX, DISPLAY and ORVANE_WINE_TMP (a scratch folder removed afterwards),
# where wineserver.log holds the server's output: the request trace of programs run with
# WINEDEBUG=+server, among them.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 command [arguments...]" >&2
    exit 2
fi

. "$(dirname "$0")/xvfb.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-wine.XXXXXX")
prefix_made=
server_pid=

# Each server keeps its socket and lock in a folder named after the prefix's device and inode
# (server-<dev>-<ino>, in hexadecimal), inside a folder of Wine's own under the temporary directory.
server_name=
server_socket() {
    socket=
    local candidate
    for candidate in "${TMPDIR:-/tmp}"/wine-*/"$server_name"/socket /tmp/.wine-"$(id -u)"/"$server_name"/socket; do
        if [ -S "$candidate" ]; then
            socket=$candidate
            return
        fi
    done
}

cleanup() {
    local status=$?
    if [ -n "$prefix_made" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    # The servers of this prefix leave their folders behind (a lock file in each).
    if [ -n "$server_name" ]; then
        local folder
        for folder in "${TMPDIR:-/tmp}"/wine-*/"$server_name" /tmp/.wine-"$(id -u)"/"$server_name"; do
            [ -d "$folder" ] || continue
            rm -rf "$folder"
            rmdir "$(dirname "$folder")" 2>/dev/null || true
        done
    fi
    stop_xvfb
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Debian's `wine` starts its 32-bit loader first when 32-bit Wine is installed, which a kernel
# without 32-bit support runs under emulation; the prefix's own tools are 64-bit programs.
wine64=wine
[ -x /usr/lib/wine/wine64 ] && wine64=/usr/lib/wine/wine64

export WINEPREFIX="$scratch/prefix"
mkdir "$WINEPREFIX"
server_name=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
export ORVANE_WINE_TMP="$scratch"
# Wine's noise (fixme, err) would drown the tests' own output; Mono and Gecko are never needed and
# their installers would only ask for downloads.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# WinINet would send every request to a proxy named in the environment, 127.0.0.1 included.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY

start_xvfb "$scratch"

# A new prefix takes about ten seconds to make with the 64-bit loader.
prefix_made=1
"$wine64" wineboot --init >"$scratch/wineboot.log" 2>&1 || { cat "$scratch/wineboot.log" >&2; exit 1; }
wineserver -w
# Without fonts in the prefix the dialogs would be drawn with none.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"

# One server for the whole run, kept until we end it. Debian's wineserver otherwise shuts down as
# soon as no program runs, and a program that starts while that shutdown is under way is cut off
# ("recvmsg: Connection reset by peer").
wineserver --foreground --persistent >"$scratch/wineserver.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do
    server_socket
    [ -n "$socket" ] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$socket" ]; then
    echo "wineserver did not start:" >&2
    cat "$scratch/wineserver.log" >&2
    exit 1
fi

# The first program starts Wine's own services, which then live as long as the server; their output
# goes nowhere here, so that no test's output stays open behind them.
# With no window manager on the display, an unmanaged window closes at once instead of after a
# two-second wait for a manager that never answers.
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1

status=0
"$@" || status=$?
if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "wineserver ended during the run:" >&2
    cat "$scratch/wineserver.log" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
