#!/usr/bin/env bash
# Installs, starts and uninstalls each Windows installer silently under Wine, as a user would:
#   scripts/wine-env.sh scripts/installer-check.sh build/mingw-x86_64/orvane-1.0.4.0-win64-setup.exe ...
# Runs inside scripts/wine-env.sh (WINEPREFIX, DISPLAY and one wineserver are set up there). For each
# installer: a setting written before, a silent install (/S) that gives the files beside each other,
# the Start menu shortcut and the uninstall entry in the installer's registry view; the installed
# program shows its main window and is ended (Set Clock is never pressed); a silent uninstall takes
# the files, the shortcut and the entry away and leaves the setting.
set -euo pipefail

if [ $# -eq 0 ] || [ -z "${WINEPREFIX:-}" ]; then
    echo "usage: scripts/wine-env.sh $0 setup.exe..." >&2
    exit 2
fi

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane'
settings_key='HKCU\Software\Quintarro\Orvane\Configuration'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvane.lnk"
log=$(mktemp "${TMPDIR:-/tmp}/orvane-installer.XXXXXX")
program_pid=
cleanup() {
    local status=$?
    if [ -n "$program_pid" ]; then
        kill "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    rm -f "$log"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "installer-check: FAIL: $*" >&2
    exit 1
}
pass() {
    echo "installer-check: ok: $*"
}

# Debian's `wine` starts every program with the 32-bit loader when wine32 is installed, which is
# slow where that loader runs under qemu and fails where 32-bit programs cannot run at all; the
# registry tool and the 64-bit installer and program need only wine64.
wine64=wine
[ -x /usr/lib/wine/wine64 ] && wine64=/usr/lib/wine/wine64

# `wine reg query` in one registry view, with Windows' line ends taken off.
reg_query() {
    "$wine64" reg query "$@" </dev/null 2>/dev/null | tr -d '\r'
}

# Whether a window on $DISPLAY whose xwininfo line matches the pattern is shown (mapped, with every
# parent mapped).
window_shown() {
    local id
    for id in $(xwininfo -root -tree 2>/dev/null | grep -E -- "$1" | awk '{print $1}'); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}

# Waits up to the given tenths of a second for a condition (a command) to hold.
wait_until() {
    local tenths=$1
    shift
    for _ in $(seq 1 "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

gone() {
    [ ! -e "$folder" ] && [ ! -e "$shortcut" ] && ! reg_query "$uninstall_key" "$view" >/dev/null
}

check_installer() {
    local setup=$1 started=$SECONDS
    local bin
    bin=$(dirname "$setup")/bin
    case "$setup" in
        *-win64-setup.exe) folder="$WINEPREFIX/drive_c/Program Files/Orvane"; windows_folder='C:\Program Files\Orvane'
                           view=/reg:64; other_view=/reg:32; loader=$wine64 ;;
        *-win32-setup.exe) folder="$WINEPREFIX/drive_c/Program Files (x86)/Orvane"; windows_folder='C:\Program Files (x86)\Orvane'
                           view=/reg:32; other_view=/reg:64; loader=wine ;;
        *) fail "$setup: neither -win64-setup.exe nor -win32-setup.exe" ;;
    esac
    local name version
    name=$(basename "$setup")
    version=$(echo "$name" | sed -E 's/^orvane-([0-9.]+)-win(32|64)-setup\.exe$/\1/')

    "$wine64" reg add "$settings_key" /v URLIndex /t REG_DWORD /d 3 /f </dev/null >/dev/null 2>&1 ||
        fail "could not write the setting"

    # The installer runs to its end before wine returns.
    local status=0
    "$loader" "$setup" /S </dev/null >"$log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || { cat "$log" >&2; fail "$name /S exited with $status"; }
    local file
    for file in orvane.exe orvane.HLP; do
        cmp "$bin/$file" "$folder/$file" || fail "$name did not install $file in $windows_folder"
    done
    [ -f "$folder/uninstall.exe" ] || fail "$name wrote no uninstaller"
    [ -s "$shortcut" ] || fail "$name made no Start menu shortcut"
    local entry
    entry=$(reg_query "$uninstall_key" "$view") || fail "$name made no uninstall entry in the view $view"
    local expected
    for expected in "DisplayName REG_SZ Orvane" "DisplayVersion REG_SZ $version" "Publisher REG_SZ Quintarro" \
                    "DisplayIcon REG_SZ $windows_folder\\orvane.exe,0" \
                    "UninstallString REG_SZ \"$windows_folder\\uninstall.exe\"" \
                    "QuietUninstallString REG_SZ \"$windows_folder\\uninstall.exe\" /S" \
                    "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1"; do
        echo "$entry" | sed -E 's/^ +//; s/ {2,}/ /g' | grep -q -x -F -- "$expected" ||
            { echo "$entry" >&2; fail "$name: the uninstall entry lacks: $expected"; }
    done
    if reg_query "$uninstall_key" "$other_view" >/dev/null; then
        fail "$name wrote its uninstall entry in the registry view $other_view too"
    fi
    pass "$name /S: orvane.exe and orvane.HLP in $windows_folder, the shortcut, the uninstall entry"

    # The main window is a top-level X window titled with the main dialog's caption.
    "$loader" "$windows_folder\\orvane.exe" </dev/null >"$log" 2>&1 &
    program_pid=$!
    if ! wait_until 1200 window_shown '"Orvane": \("orvane.exe" ' ||
       ! kill -0 "$program_pid" 2>/dev/null; then
        xwininfo -root -tree >&2 || true
        cat "$log" >&2
        fail "the installed orvane.exe showed no window titled Orvane"
    fi
    kill "$program_pid"
    wait "$program_pid" 2>/dev/null || true
    program_pid=
    pass "the installed orvane.exe shows its main window"

    # The uninstaller copies itself to the temporary folder and starts the copy, which does the work
    # after this one has ended: wait for its result.
    "$loader" "$windows_folder\\uninstall.exe" /S </dev/null >"$log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || { cat "$log" >&2; fail "uninstall.exe /S exited with $status"; }
    wait_until 1200 gone || {
        find "$folder" "$shortcut" 2>/dev/null >&2 || true
        reg_query "$uninstall_key" "$view" >&2 || true
        fail "uninstall.exe /S left the program's folder, the shortcut or the uninstall entry"
    }
    reg_query "$settings_key" /v URLIndex | grep -q -E 'URLIndex +REG_DWORD +0x3$' ||
        fail "uninstall.exe /S did not leave the setting under HKEY_CURRENT_USER\\Software\\Quintarro"
    pass "uninstall.exe /S: files, shortcut and entry gone, the user's setting kept ($((SECONDS - started)) s)"
    "$wine64" reg delete 'HKCU\Software\Quintarro' /f </dev/null >/dev/null 2>&1 || true
}

folder=
windows_folder=
view=
other_view=
loader=
for setup in "$@"; do
    check_installer "$(cd "$(dirname "$setup")" && pwd)/$(basename "$setup")"
done
