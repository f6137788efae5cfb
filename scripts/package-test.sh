#!/usr/bin/env bash
# Builds the packages that users install and installs, starts and removes each as a user would:
#   scripts/package-test.sh [--no-deb] [--no-clean-system] [--no-windows]
# The Debian package (build/linux/orvane_1.0.4.0_amd64.deb): lintian, desktop-file-validate and
# appstreamcli, then apt-get install, /usr/bin/orvane started on a private X display, and
# apt-get remove --purge, which must leave none of its files and no user's settings touched.
# Installing needs root (as in CI); an orvane package installed before is never replaced.
# Then the same on a clean Debian 12 minbase made by mmdebstrap, installed without recommended
# packages as piuparts does, so that a dependency that only comes as a recommendation shows; where
# the Debian mirror cannot be reached, that part says SKIPPED and the run goes on.
# The Windows installers (build/mingw-*/orvane-1.0.4.0-win*-setup.exe): scripts/installer-check.sh
# under Wine. The program is only started and ended: Set Clock is never pressed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deb=1
clean_system=1
windows=1
while [ $# -gt 0 ]; do
    case "$1" in
        --no-deb) deb=; shift ;;
        --no-clean-system) clean_system=; shift ;;
        --no-windows) windows=; shift ;;
        *) echo "usage: $0 [--no-deb] [--no-clean-system] [--no-windows]" >&2; exit 2 ;;
    esac
done
cd "$root"
version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
jobs=$(nproc)

. "$root/scripts/xvfb.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-package.XXXXXX")
installed=
program_pid=
cleanup() {
    local status=$?
    if [ -n "$program_pid" ]; then
        kill "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    stop_xvfb
    # A failed run leaves the machine as it found it; the clean system lives in the scratch folder.
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq orvane >/dev/null 2>&1 || true
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "package-test: FAIL: $*" >&2
    exit 1
}
pass() {
    echo "package-test: ok: $*"
}

# Reads paths on standard input and prints each that an uninstalled package left behind. A folder may
# stay only while it holds others' files or another package owns it. Runs in the system it checks.
leftover_check='
    while IFS= read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        if [ -d "$path" ] && [ ! -L "$path" ]; then
            [ -z "$(ls -A "$path")" ] || continue
            dpkg-query -S "$path" >/dev/null 2>&1 && continue
        fi
        echo "left behind: $path"
    done'

# Starts a command that runs the installed program on the X display that the caller started, checks
# that its main window shows, then ends it and the display: shows_main_window LOG WHERE COMMAND...
# (WHERE ends the failure text).
shows_main_window() {
    local log=$1 where=$2
    shift 2
    "$@" >"$log" 2>&1 &
    program_pid=$!
    if ! wait_for_window '"Orvane": \("orvane" ' "$program_pid"; then
        xwininfo -root -tree >&2 || true
        cat "$log" >&2
        fail "/usr/bin/orvane showed no window titled Orvane$where"
    fi
    kill "$program_pid"
    wait "$program_pid" 2>/dev/null || true
    program_pid=
    stop_xvfb
}

test_deb() {
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target orvane_deb -j"$jobs"
    local package
    package=$root/build/linux/orvane_${version}_$(dpkg --print-architecture).deb
    [ -f "$package" ] || fail "no package $package"

    # What the package holds, before anything is installed.
    mkdir "$scratch/deb" "$scratch/control"
    dpkg-deb -x "$package" "$scratch/deb"
    dpkg-deb -e "$package" "$scratch/control"
    file -b "$scratch/deb/usr/lib/orvane/orvane" | grep -q ', stripped' || fail "the program is not stripped"
    [ "$(readlink "$scratch/deb/usr/bin/orvane")" = ../lib/orvane/orvane ] || fail "/usr/bin/orvane is no link to the program"
    [ -f "$scratch/deb/usr/lib/orvane/orvane.HLP" ] || fail "no help file beside the program"
    dpkg-deb -f "$package" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries: $(dpkg-deb -f "$package" Depends)"
    [ "$(dpkg-deb -f "$package" Section)" = utils ] || fail "section is not utils"
    if [ -n "$(dpkg-deb --ctrl-tarfile "$package" | tar -t | grep -E 'preinst|postinst|prerm|postrm')" ]; then
        fail "the package has maintainer scripts"
    fi
    if dpkg-deb --fsys-tarfile "$package" | tar -tv | grep -v -E '^[^ ]+ root/root '; then
        fail "files not owned by root:root"
    fi
    pass "contents of $(basename "$package")"

    lintian --fail-on error,warning "$package" || fail "lintian"
    pass "lintian --fail-on error,warning"

    if [ "$(id -u)" -ne 0 ]; then
        echo "package-test: installing the package needs root; skipped"
        return
    fi
    if dpkg-query -W -f='${Status}' orvane 2>/dev/null | grep -q 'ok installed'; then
        fail "an orvane package is installed already; remove it first: apt-get remove --purge orvane"
    fi

    # A user's settings, which removing the package must leave as they are. The program runs as
    # nobody with this home: a user without the right to set the clock.
    local home=$scratch/home
    mkdir -p "$home/.config/orvane"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quintarro\\Orvane\\Configuration]\r\n"RadioButton"=dword:00000000\r\n"URLIndex"=dword:00000003\r\n' \
        >"$home/.config/orvane/registry.reg"
    cp "$home/.config/orvane/registry.reg" "$scratch/registry.reg.before"
    chown -R nobody:nogroup "$home"
    chmod 755 "$scratch"

    installed=1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >"$scratch/apt-install.log" 2>&1 ||
        { cat "$scratch/apt-install.log" >&2; fail "apt-get install"; }
    dpkg -L orvane >"$scratch/files"
    [ "$(readlink -f /usr/bin/orvane)" = /usr/lib/orvane/orvane ] || fail "/usr/bin/orvane does not lead to /usr/lib/orvane/orvane"
    [ -z "$(getcap /usr/lib/orvane/orvane)" ] || fail "the package gave the program a capability"
    pass "apt-get install ./$(basename "$package")"

    desktop-file-validate /usr/share/applications/orvane.desktop || fail "desktop-file-validate"
    appstreamcli validate --no-net /usr/share/metainfo/com.quintarro.Orvane.metainfo.xml || fail "appstreamcli validate"
    pass "desktop entry and AppStream data"

    # The installed program, started by its link in PATH, shows its main window.
    start_xvfb "$scratch"
    shows_main_window "$scratch/orvane.log" "" setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb orvane
    pass "/usr/bin/orvane shows its main window"

    DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq orvane >"$scratch/apt-remove.log" 2>&1 ||
        { cat "$scratch/apt-remove.log" >&2; fail "apt-get remove --purge"; }
    installed=
    if dpkg-query -W -f='${Status}' orvane 2>/dev/null | grep -q 'ok installed'; then
        fail "orvane is still installed"
    fi
    sh -c "$leftover_check" <"$scratch/files" >"$scratch/left"
    [ ! -s "$scratch/left" ] || { cat "$scratch/left" >&2; fail "apt-get remove --purge left files behind"; }
    cmp "$scratch/registry.reg.before" "$home/.config/orvane/registry.reg" || fail "the user's settings changed"
    pass "apt-get remove --purge orvane: $(grep -c . "$scratch/files") paths gone, the user's settings kept"

    [ -z "$clean_system" ] || test_clean_system "$package"
    [ -z "$clean_system" ] || "$root/scripts/booted-check.sh" "$package"
}

# The SKIPPED line for a clean system that cannot be made or filled because the mirror cannot be
# reached: true when the log shows apt's fetch errors, false for any other failure.
skip_unreachable() {
    local log=$1 reason
    reason=$(grep -m1 -E "Failed to fetch|Could not resolve|Temporary failure resolving|Unable to connect|Could not connect|Connection failed|Connection timed out|Network is unreachable" "$log") ||
        return 1
    reason=$(printf '%s' "$reason" | sed -E 's/^([A-Z]: )?[[:space:]]*//')
    echo "SKIPPED: clean-system install: the Debian mirror cannot be reached ($reason)"
}

# The host's Debian 12 sources, for the clean system to use the same mirror: the one-line and
# deb822 entries for bookworm and its updates and security suites, and nothing of other vendors.
write_debian_sources() {
    local folder=$1 file
    : >"$folder/debian.list"
    : >"$folder/debian.sources"
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        grep -E '^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+bookworm(-updates|-security)?[[:space:]]' \
            "$file" >>"$folder/debian.list" || true
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Stanzas are separated by empty lines; comments are dropped.
        awk -v RS= -v ORS='\n\n' '{
            text = ""; n = split($0, lines, "\n")
            for (i = 1; i <= n; ++i) if (lines[i] !~ /^#/) text = text lines[i] "\n"
            if (text ~ /(^|\n)Types:[^\n]*deb([ \n]|$)/ && text ~ /(^|\n)Suites:[^\n]* bookworm(-updates|-security)?( |\n|$)/ &&
                text !~ /(^|\n)Enabled: *no/)
                printf "%s\n", text
        }' "$file" >>"$folder/debian.sources"
    done
}

# Runs a command as root in the clean system at $clean_root, in a mount namespace of its own: /proc,
# the X server's socket folder and the cache of downloaded packages are mounted there and vanish
# with the command. The command replaces this process, so the caller's $! is the command's own.
in_clean_system() {
    unshare --mount --propagation private -- sh -c '
        root=$1 archives=$2; shift 2
        mount -t proc proc "$root/proc" &&
            mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix" &&
            mount --bind "$archives" "$root/var/cache/apt/archives" &&
            exec chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"' \
        sh "$clean_root" "$clean_cache/archives" "$@"
}

# The package on a clean Debian 12 minbase: apt-get install without recommended packages, the
# program started by an ordinary user and shown on the X display, apt-get purge, no file left.
# The minbase is made once and kept in the user's cache folder (~/.cache/orvane/clean-system) for 30
# days, with the packages that installing downloads, so that a fresh clone on the same machine does
# not fetch them again; remove the folder to make a new one.
test_clean_system() {
    local package=$1 started=$SECONDS
    command -v mmdebstrap >/dev/null || fail "mmdebstrap is missing (scripts/deps.sh installs it)"
    clean_cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvane/clean-system
    local tarball=$clean_cache/bookworm-minbase.tar
    mkdir -p "$clean_cache/archives/partial"
    if [ -z "$(find "$tarball" -mtime -30 2>/dev/null)" ]; then
        write_debian_sources "$scratch"
        local mirrors=() list
        for list in "$scratch/debian.list" "$scratch/debian.sources"; do
            [ ! -s "$list" ] || mirrors+=("$list")
        done
        # Without Debian sources of its own, the host leaves the choice to mmdebstrap: deb.debian.org.
        if ! mmdebstrap --variant=minbase --format=tar --aptopt='APT::Install-Recommends "false"' \
            bookworm "$tarball.new" "${mirrors[@]}" >"$scratch/mmdebstrap.log" 2>&1; then
            rm -f "$tarball.new"
            skip_unreachable "$scratch/mmdebstrap.log" && return
            cat "$scratch/mmdebstrap.log" >&2
            fail "mmdebstrap could not make a Debian 12 minbase"
        fi
        mv "$tarball.new" "$tarball"
    fi
    clean_root=$scratch/clean
    mkdir "$clean_root"
    tar -C "$clean_root" -xf "$tarball"
    mkdir -p -m 1777 "$clean_root/tmp/.X11-unix"
    cp -L /etc/resolv.conf "$clean_root/etc/resolv.conf" 2>/dev/null || true
    cp "$package" "$clean_root/tmp/"
    local made=$((SECONDS - started))

    if ! in_clean_system sh -c 'apt-get update -qq --error-on=any && apt-get install -y -qq --no-install-recommends "/tmp/$1"' \
        sh "$(basename "$package")" >"$scratch/clean-install.log" 2>&1; then
        skip_unreachable "$scratch/clean-install.log" && return
        cat "$scratch/clean-install.log" >&2
        fail "apt-get install --no-install-recommends on a clean Debian 12"
    fi
    in_clean_system dpkg -L orvane >"$scratch/clean-files"
    pass "apt-get install --no-install-recommends ./$(basename "$package") on a clean Debian 12 minbase"

    in_clean_system useradd --create-home --user-group clockuser
    start_xvfb "$scratch"
    shows_main_window "$scratch/clean-orvane.log" " on a clean Debian 12" \
        in_clean_system setpriv --reuid=clockuser --regid=clockuser --init-groups \
        env HOME=/home/clockuser DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb /usr/bin/orvane
    pass "/usr/bin/orvane, started by an ordinary user, shows its main window on a clean Debian 12"

    in_clean_system apt-get purge -y -qq orvane >"$scratch/clean-purge.log" 2>&1 ||
        { cat "$scratch/clean-purge.log" >&2; fail "apt-get purge orvane on a clean Debian 12"; }
    in_clean_system sh -c "$leftover_check" <"$scratch/clean-files" >"$scratch/clean-left"
    [ ! -s "$scratch/clean-left" ] || { cat "$scratch/clean-left" >&2; fail "apt-get purge left files behind on a clean Debian 12"; }
    pass "apt-get purge orvane on a clean Debian 12: $(grep -c . "$scratch/clean-files") paths gone" \
         "(minbase ready in ${made}s, all in $((SECONDS - started))s)"
}

test_windows() {
    local preset
    for preset in mingw-x86_64 mingw-i686; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" --target orvane_setup -j"$jobs"
    done
    local installers=("$root/build/mingw-x86_64/orvane-$version-win64-setup.exe")
    local win32=$root/build/mingw-i686/orvane-$version-win32-setup.exe
    local check=("$root/scripts/wine-env.sh" "$root/scripts/installer-check.sh")
    # The 32-bit installer needs wine32 and a way to run 32-bit code (see i386.sh).
    . "$root/scripts/i386.sh"
    case "$(i386_wine_runner)" in
        native) installers+=("$win32") ;;
        qemu)
            installers+=("$win32")
            check=(with_qemu_i386 "${check[@]}")
            ;;
        *)
            echo "package-test: SKIPPED the 32-bit installer: 32-bit programs cannot run here: $(i386_skip_cause)" >&2
            ;;
    esac
    "${check[@]}" "${installers[@]}"
}

[ -z "$deb" ] || test_deb
[ -z "$windows" ] || test_windows
echo "package-test: all checks passed"
