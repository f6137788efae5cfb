#!/usr/bin/env bash
# Installs, starts and uninstalls each Windows installer silently under Wine, as a user would:
#   scripts/wine-env.sh scripts/installer-check.sh build/mingw-x86_64/orvane-1.0.4.0-win64-setup.exe ...
# Runs inside scripts/wine-env.sh (WINEPREFIX, DISPLAY and one wineserver are set up there). For each
# installer: a setting written before, a silent install (/S) that gives the files beside each other,
# the Start menu shortcut and the uninstall entry in the installer's registry view; the installed
# program shows its main window (Set Clock is never pressed). With both installers, both programs
# are then installed side by side under their own names, and uninstalling the 32-bit one leaves the
# 64-bit one whole. A silent uninstall takes the files, the shortcut and the entry away and leaves
# the setting. Last, the first installer refuses a folder outside Program Files, new or existing,
# with exit code 2 and nothing written; and while its help file is held open, or the program runs,
# an install and an uninstall end with exit code 2 and change nothing.
set -euo pipefail

if [ $# -eq 0 ] || [ -z "${WINEPREFIX:-}" ]; then
    echo "usage: scripts/wine-env.sh $0 setup.exe..." >&2
    exit 2
fi

uninstall_list='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
uninstall_key="$uninstall_list\\Orvane"
settings_key='HKCU\Software\Quintarro\Orvane\Configuration'
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
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

# Sets what an installer is expected to do: its folder (in Linux's and Windows' spelling), its
# registry view and the other one, its loader, its name in the Start menu and Apps and Features.
describe() {
    setup=$1
    name=$(basename "$setup")
    bin=$(dirname "$setup")/bin
    version=$(echo "$name" | sed -E 's/^orvane-([0-9.]+)-win(32|64)-setup\.exe$/\1/')
    case "$name" in
        *-win64-setup.exe) folder="$WINEPREFIX/drive_c/Program Files/Orvane"; windows_folder='C:\Program Files\Orvane'
                           view=/reg:64; other_view=/reg:32; loader=$wine64; title=Orvane ;;
        # The prefix is a 64-bit Windows, where the 32-bit program names itself apart.
        *-win32-setup.exe) folder="$WINEPREFIX/drive_c/Program Files (x86)/Orvane"; windows_folder='C:\Program Files (x86)\Orvane'
                           view=/reg:32; other_view=/reg:64; loader=wine; title='Orvane (32-bit)' ;;
        *) fail "$setup: neither -win64-setup.exe nor -win32-setup.exe" ;;
    esac
    shortcut="$start_menu/$title.lnk"
}

# Runs a Windows program to its end with the installer's loader; its exit code is in $status.
run() {
    status=0
    "$loader" "$@" </dev/null >"$log" 2>&1 || status=$?
}

gone() {
    [ ! -e "$folder" ] && [ ! -e "$shortcut" ] && ! reg_query "$uninstall_key" "$view" >/dev/null
}

# The display names of all uninstall entries in a registry view.
display_names() {
    reg_query "$uninstall_list" /s /v DisplayName "$1" | sed -n -E 's/^ +DisplayName +REG_SZ +//p'
}

# The files, the shortcut and the one uninstall entry of an installed Orvane, in its registry view only.
check_installed() {
    local file
    for file in orvane.exe orvane.HLP; do
        cmp "$bin/$file" "$folder/$file" || fail "$name did not install $file in $windows_folder"
    done
    [ -f "$folder/uninstall.exe" ] || fail "$name wrote no uninstaller"
    [ -s "$shortcut" ] || fail "$name made no Start menu shortcut $title.lnk"
    local entry expected
    entry=$(reg_query "$uninstall_key" "$view") || fail "$name made no uninstall entry in the view $view"
    for expected in "DisplayName REG_SZ $title" "DisplayVersion REG_SZ $version" "Publisher REG_SZ Quintarro" \
                    "DisplayIcon REG_SZ $windows_folder\\orvane.exe,0" \
                    "InstallLocation REG_SZ $windows_folder" \
                    "UninstallString REG_SZ \"$windows_folder\\uninstall.exe\"" \
                    "QuietUninstallString REG_SZ \"$windows_folder\\uninstall.exe\" /S" \
                    "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1"; do
        echo "$entry" | sed -E 's/^ +//; s/ {2,}/ /g' | grep -q -x -F -- "$expected" ||
            { echo "$entry" >&2; fail "$name: the uninstall entry lacks: $expected"; }
    done
    local entries
    entries=$(display_names "$view" | grep -c -x -F -- "$title" || true)
    [ "$entries" -eq 1 ] || fail "$name: $entries uninstall entries named $title in the view $view"
    if display_names "$other_view" | grep -q -x -F -- "$title"; then
        fail "$name wrote its uninstall entry in the registry view $other_view too"
    fi
}

write_setting() {
    setting=$1
    "$wine64" reg add "$settings_key" /v URLIndex /t REG_DWORD /d "$setting" /f </dev/null >/dev/null 2>&1 ||
        fail "could not write the setting"
}

# What the installer leaves where Orvane is: the files' contents and the entry.
snapshot() {
    { (cd "$folder" && md5sum -- *) 2>&1; reg_query "$uninstall_key" "$view"; } || true
}

install_and_check() {
    write_setting 3
    run "$setup" /S
    [ "$status" -eq 0 ] || { cat "$log" >&2; fail "$name /S exited with $status"; }
    check_installed
    pass "$name /S: orvane.exe and orvane.HLP in $windows_folder, the shortcut $title.lnk, the uninstall entry"
}

# Starts the installed program and waits for its main window, a top-level X window titled with the
# main dialog's caption.
start_program() {
    "$loader" "$windows_folder\\orvane.exe" </dev/null >"$log" 2>&1 &
    program_pid=$!
    if ! wait_until 1200 window_shown '"Orvane": \("orvane.exe" ' ||
       ! kill -0 "$program_pid" 2>/dev/null; then
        xwininfo -root -tree >&2 || true
        cat "$log" >&2
        fail "the installed orvane.exe showed no window titled Orvane"
    fi
}

stop_program() {
    kill "$program_pid"
    wait "$program_pid" 2>/dev/null || true
    program_pid=
}

# While something holds Orvane's files (the running program, or another program its help file), an
# install over it and an uninstall must each end with exit code 2 and leave the files and the entry
# as they were. The uninstaller runs in place (_?=), as a caller that waits for its result runs it:
# without _?= it only starts a copy of itself and ends. Wine would quote a _?= folder with a space,
# which hides it from the uninstaller: the folder's short name is given instead.
check_refused_while() {
    local what=$1 before short
    before=$(snapshot)
    run "$setup" /S
    [ "$status" -eq 2 ] || { cat "$log" >&2; fail "$name /S with $what exited with $status, not 2"; }
    [ "$(snapshot)" = "$before" ] || fail "$name /S with $what changed the installed files or entry"
    short=$(run_batch "@for %%I in (\"$windows_folder\") do @echo %%~sI")
    run "$short\\uninstall.exe" /S "_?=$short"
    [ "$status" -eq 2 ] || { cat "$log" >&2; fail "uninstall.exe /S with $what exited with $status, not 2"; }
    [ "$(snapshot)" = "$before" ] || fail "uninstall.exe /S with $what removed files or the entry"
    check_installed
    pass "with $what, $name /S and uninstall.exe /S end with 2 and leave Orvane whole"
}

# Runs lines as a batch file of the prefix, so that cmd's quoting applies to them and not Wine's.
run_batch() {
    printf '%s\r\n' "$@" >"$WINEPREFIX/drive_c/orvane-check.bat"
    "$wine64" cmd /c 'C:\orvane-check.bat' </dev/null 2>/dev/null | tr -d '\r'
}

# The uninstaller copies itself to the temporary folder and starts the copy, which does the work
# after this one has ended: wait for its result.
uninstall_and_check() {
    run "$windows_folder\\uninstall.exe" /S
    [ "$status" -eq 0 ] || { cat "$log" >&2; fail "uninstall.exe /S exited with $status"; }
    wait_until 1200 gone || {
        find "$folder" "$shortcut" 2>/dev/null >&2 || true
        reg_query "$uninstall_key" "$view" >&2 || true
        fail "uninstall.exe /S of $title left its folder, its shortcut or its uninstall entry"
    }
    reg_query "$settings_key" /v URLIndex | grep -q -E "URLIndex +REG_DWORD +0x$setting\$" ||
        fail "uninstall.exe /S did not leave the setting under HKEY_CURRENT_USER\\Software\\Quintarro"
    pass "uninstall.exe /S of $title: files, shortcut and entry gone, the user's setting kept"
}

# The access lists that the installer asked the Wine server to set on a folder. Wine keeps none on
# disk (it maps them onto Unix modes), so reading them back would show Wine's own; its request trace
# shows what was asked for.
requested_acl() {
    # The log doubles each backslash of a name.
    local name="\\??\\$1"
    name=${name//\\/\\\\} awk '
        /create_file\(/ && index($0, "name=L\"" ENVIRON["name"] "\"") { want = 1; next }
        want && /create_file\(\) = 0/ { match($0, /handle=[0-9a-f]+/); handle = substr($0, RSTART, RLENGTH); want = 0; next }
        { want = 0 }
        handle != "" && /set_security_object\(/ && index($0, handle ",") { print }' "$ORVANE_WINE_TMP/wineserver.log"
}

# A folder outside Program Files is refused, new or existing, with exit code 2 and nothing written:
# neither it nor a folder above it is made, and an existing one is left as it was.
check_refused_folders() {
    local target existing="$WINEPREFIX/drive_c/Existing"
    mkdir -p "$existing"
    echo kept >"$existing/kept.txt"
    for target in 'C:\Tools\Orvane' 'C:\Existing'; do
        # /D= must be the last argument, unquoted: the folder has no space.
        run "$setup" /S "/D=$target"
        [ "$status" -eq 2 ] || { cat "$log" >&2; fail "$name /S /D=$target exited with $status, not 2"; }
        [ ! -e "$WINEPREFIX/drive_c/Tools" ] && [ "$(ls -A "$existing")" = kept.txt ] && gone ||
            fail "$name /S /D=$target wrote something"
    done
    rm -rf "$existing"
    pass "$name /S /D= outside Program Files, new or existing: exit code 2, nothing written"
}

# Program Files' own access list protects the folder: the installer asks for none of its own. Then a
# held help file, and the running program, each make an install and an uninstall refuse. This goes
# last: the server's request trace that it turns on stays on for the rest of the run.
check_held_files() {
    write_setting 3
    WINEDEBUG=+server "$loader" "$setup" /S </dev/null >"$log" 2>&1 || { cat "$log" >&2; fail "$name /S failed"; }
    check_installed
    local acl
    acl=$(requested_acl "$windows_folder")
    [ -z "$acl" ] || { echo "$acl" >&2; fail "$name set an access list of its own on $windows_folder"; }
    pass "$name /S: $windows_folder keeps the access list that Program Files gives it"

    # A program that has the help file open (as its standard input) for about ten seconds.
    run_batch "@ping -n 10 127.0.0.1 >nul <\"$windows_folder\\orvane.HLP\"" &
    local holder=$!
    sleep 2
    check_refused_while "its help file held open by another program"
    wait "$holder" || true

    start_program
    check_refused_while "orvane.exe running"
    stop_program
    uninstall_and_check
}

status=0
setting=
installers=()
for setup in "$@"; do
    installers+=("$(cd "$(dirname "$setup")" && pwd)/$(basename "$setup")")
done

# Each installer in turn, its program shown.
for setup in "${installers[@]}"; do
    started=$SECONDS
    describe "$setup"
    install_and_check
    start_program
    stop_program
    pass "the installed orvane.exe shows its main window ($((SECONDS - started)) s)"
done

# All of them are installed now, side by side: uninstall the last first, each time checking that
# the ones before it are still whole.
for ((i = ${#installers[@]} - 1; i >= 0; i--)); do
    describe "${installers[i]}"
    uninstall_and_check
    for ((j = 0; j < i; j++)); do
        describe "${installers[j]}"
        check_installed
        pass "$title is still whole beside it"
    done
done
"$wine64" reg delete 'HKCU\Software\Quintarro' /f </dev/null >/dev/null 2>&1 || true

describe "${installers[0]}"
check_refused_folders
check_held_files
"$wine64" reg delete 'HKCU\Software\Quintarro' /f </dev/null >/dev/null 2>&1 || true
