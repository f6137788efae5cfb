#!/usr/bin/env bash
# Set Clock on a booted Debian 12, against the real systemd-timedated, polkit and systemd-timesyncd:
#   scripts/booted-check.sh PACKAGE.deb [ORVANE-DAYTIMED]
# A Debian 12 tree with systemd, dbus, polkitd and systemd-timesyncd (made once by mmdebstrap and
# kept in ~/.cache/orvane/booted-system for 30 days) is booted with systemd-nspawn, which works
# where the host runs no systemd (--register=no --keep-unit); commands go in with nsenter. The
# package is installed there, and an ordinary user presses Set Clock by keyboard (xdotool) against
# orvane-daytimed on 127.0.0.1 (the container shares the host's network, and so the X display's
# abstract socket). Four cases: automatic synchronisation synchronised, unsynchronised and accepted,
# unsynchronised with the clock refused, and off. Each checks the clock requests that timedated
# received, timedated's NTP afterwards and the status line.
#
# The machine's clock never changes: the container has no CAP_SYS_TIME, and timedated runs with
# scripts/booted/clock-fake.c preloaded (a unit drop-in), which records its clock requests and makes
# up the clock discipline (timedated's seccomp filter refuses adjtimex in a container), so that the
# check decides whether NTPSynchronized is true. timesyncd runs (a drop-in clears its condition
# that there be no container) and knows only NTP=127.0.0.1, where no server answers.
# A polkit rule stands for the administrator's password; one that refuses setting the time stands
# for a cancelled prompt. The status line is read through scripts/booted/status-hook.cpp, preloaded
# into the program, which writes each label's text to a file.
#
# Where the container cannot boot or the Debian mirror cannot be reached, it prints
# "SKIPPED: booted system: <reason>" and exits 0. BOOTED_DEBUG=1 keeps a failed run's container up
# for 15 minutes (its init's process id is printed, for nsenter).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
package=$(realpath "${1:?usage: $0 PACKAGE.deb [ORVANE-DAYTIMED]}")
daytimed=${2:-$root/build/linux/bin/orvane-daytimed}
[ -n "${2:-}" ] || [ -x "$daytimed" ] || (cd "$root" && cmake --build --preset linux --target orvane-daytimed >/dev/null)
started=$SECONDS

skip() {
    echo "SKIPPED: booted system: $*"
    exit 0
}
fail() {
    echo "booted-check: FAIL: $*" >&2; [ -z "${BOOTED_DEBUG:-}" ] || { echo "scratch=$scratch init=$init"; sleep 900; }
    exit 1
}
pass() {
    echo "booted-check: ok: $*"
}

[ "$(id -u)" -eq 0 ] || skip "booting a container needs root"
for tool in systemd-nspawn mmdebstrap nsenter xdotool Xvfb gcc g++ pkg-config; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/deps.sh packages installs it)"
done
[ -x "$daytimed" ] || fail "no daytime server at $daytimed"

. "$root/scripts/xvfb.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvane-booted.XXXXXX")
nspawn_pid=
init=
daytimed_pid=
program_pid=
cleanup() {
    local status=$?
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    [ -z "$daytimed_pid" ] || kill "$daytimed_pid" 2>/dev/null || true
    if [ -n "$nspawn_pid" ]; then
        # SIGRTMIN+4 asks the container's systemd to power off; nspawn ends with it.
        kill -s RTMIN+4 "$init" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 "$nspawn_pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$nspawn_pid" 2>/dev/null || true
        wait "$nspawn_pid" 2>/dev/null || true
    fi
    stop_xvfb
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

unreachable() {
    grep -m1 -E "Failed to fetch|Could not resolve|Temporary failure resolving|Unable to connect|Could not connect|Connection failed|Connection timed out|Network is unreachable" "$1" |
        sed -E 's/^([A-Z]: )?[[:space:]]*//'
}

# ---- The tree ------------------------------------------------------------------------------------
# The host's own Debian 12 sources where it has them, else mmdebstrap's default mirror. The package's
# dependencies go into the tree too, so that installing it needs the mirror only when they change.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvane/booted-system
tarball=$cache/bookworm-booted.tar
mkdir -p "$cache/archives/partial"
if [ -z "$(find "$tarball" -mtime -30 2>/dev/null)" ]; then
    mirrors=()
    for file in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
        [ -s "$file" ] && grep -q bookworm "$file" && mirrors+=("$file")
    done
    depends=$(dpkg-deb -f "$package" Depends | tr ',' '\n' | sed -E 's/\|.*//; s/\(.*\)//; s/[[:space:]]//g' | paste -sd, -)
    if ! mmdebstrap --variant=minbase --format=tar --aptopt='APT::Install-Recommends "false"' \
        --include="systemd,systemd-sysv,dbus,polkitd,systemd-timesyncd,$depends" --skip=cleanup/apt/lists \
        bookworm "$tarball.new" "${mirrors[@]}" >"$scratch/mmdebstrap.log" 2>&1; then
        rm -f "$tarball.new"
        reason=$(unreachable "$scratch/mmdebstrap.log") && skip "the Debian mirror cannot be reached ($reason)"
        tail -n 30 "$scratch/mmdebstrap.log" >&2
        fail "mmdebstrap could not make the Debian 12 tree"
    fi
    mv "$tarball.new" "$tarball"
fi
tree=$scratch/tree
mkdir "$tree"
tar -C "$tree" -xf "$tarball"
made=$((SECONDS - started))

# The package, installed as a user would; its dependencies are in the tree already.
cp "$package" "$tree/tmp/orvane.deb"
if ! unshare --mount --propagation private -- sh -c '
        mount -t proc proc "$1/proc" && mount --bind "$2" "$1/var/cache/apt/archives" &&
        exec chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends /tmp/orvane.deb' sh "$tree" "$cache/archives" \
    >"$scratch/install.log" 2>&1; then
    reason=$(unreachable "$scratch/install.log") && skip "the Debian mirror cannot be reached ($reason)"
    cat "$scratch/install.log" >&2
    fail "apt-get install ./$(basename "$package") in the Debian 12 tree"
fi
chroot "$tree" useradd --create-home --user-group clockuser

# timedated: clock calls recorded, never made.
test_dir=/var/lib/orvane-test
mkdir -p "$tree$test_dir" "$tree/usr/local/lib/orvane-test" "$tree/etc/systemd/system/systemd-timedated.service.d"
gcc -shared -fPIC -O2 -o "$tree/usr/local/lib/orvane-test/clock-fake.so" "$root/scripts/booted/clock-fake.c"
# shellcheck disable=SC2046
g++ -shared -fPIC -O2 $(pkg-config --cflags Qt6Widgets) -o "$tree/usr/local/lib/orvane-test/status-hook.so" \
    "$root/scripts/booted/status-hook.cpp" -ldl
cat >"$tree/etc/systemd/system/systemd-timedated.service.d/orvane-test.conf" <<EOF
[Service]
Environment=LD_PRELOAD=/usr/local/lib/orvane-test/clock-fake.so ORVANE_CLOCK_LOG=$test_dir/clock.log ORVANE_SYNCED_FLAG=$test_dir/synced
ReadWritePaths=$test_dir
EOF
# timesyncd: runs in the container (without the clock capability, which nspawn withholds), asking
# only 127.0.0.1.
mkdir -p "$tree/etc/systemd/system/systemd-timesyncd.service.d" "$tree/etc/systemd/timesyncd.conf.d"
printf '[Unit]\nConditionVirtualization=\n' >"$tree/etc/systemd/system/systemd-timesyncd.service.d/orvane-test.conf"
printf '[Time]\nNTP=127.0.0.1\nFallbackNTP=\n' >"$tree/etc/systemd/timesyncd.conf.d/orvane-test.conf"
# An empty machine id is made up at boot without counting as the first boot (no firstboot wizard).
: >"$tree/etc/machine-id"

# ---- Boot ----------------------------------------------------------------------------------------
systemd-nspawn --boot --register=no --keep-unit --console=pipe -D "$tree" </dev/null >"$scratch/boot.log" 2>&1 &
nspawn_pid=$!
init=
for _ in $(seq 1 100); do
    # The container's init is nspawn's child that is process 1 in its own namespace.
    for pid in $(ps -o pid= --ppid "$nspawn_pid"); do
        grep -qP '^NSpid:\t\d+\t1$' "/proc/$pid/status" 2>/dev/null && init=$pid
    done
    [ -n "$init" ] && break
    kill -0 "$nspawn_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$init" ] || skip "the container did not boot: $(tail -n 3 "$scratch/boot.log" | tr '\n' ' ')"
inside() { nsenter -t "$init" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
state=
for _ in $(seq 1 120); do
    state=$(inside systemctl is-system-running 2>/dev/null) || true
    case "$state" in running | degraded) break ;; esac
    sleep 0.5
done
case "$state" in
    running | degraded) ;;
    *) skip "the container's systemd did not finish booting (state: ${state:-none})" ;;
esac
pass "Debian 12 booted with systemd-nspawn ($state) in $((SECONDS - started))s (tree ready in ${made}s)"

# ---- The cases -----------------------------------------------------------------------------------
"$daytimed" --port 0 >"$scratch/daytimed.out" 2>&1 &
daytimed_pid=$!
for _ in $(seq 1 50); do grep -q http "$scratch/daytimed.out" && break; sleep 0.1; done
url=$(awk '{print $2}' "$scratch/daytimed.out")
[ -n "$url" ] || fail "orvane-daytimed did not start: $(cat "$scratch/daytimed.out")"
start_xvfb "$scratch"
home=$tree/home/clockuser
mkdir -p "$home/.config/orvane"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]\r\n"RadioButton"=dword:00000001\r\n"URL"="%s"\r\n' \
    "$url" >"$home/.config/orvane/registry.reg"
chroot "$tree" chown -R clockuser:clockuser /home/clockuser

# The polkit rule that stands for the administrator: every timedated action granted, or setting the
# time refused as when the prompt is cancelled.
polkit_rule() {
    local set_time=$1
    cat >"$tree/etc/polkit-1/rules.d/50-orvane-test.rules" <<EOF
polkit.addRule(function(action, subject) {
    if (subject.user != "clockuser") return undefined;
    if (action.id == "org.freedesktop.timedate1.set-time") return polkit.Result.$set_time;
    if (action.id.indexOf("org.freedesktop.timedate1.") == 0) return polkit.Result.YES;
    return undefined;
});
EOF
    # polkitd reads rules when their folder changes; a moment for it to do so.
    sleep 1
}

ntp() { inside timedatectl show -p NTP --value; }

# Waits until timedated's NTP reads $1.
wait_ntp() {
    for _ in $(seq 1 100); do
        [ "$(ntp)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The last label text that matches a status line.
status_text() { grep -E "^(Set computer's clock|Automatic time|Clock left|Could not)" "$scratch/status.log" 2>/dev/null | tail -n1; }

# run_case NAME NTP SYNCED RULE ANSWER REQUESTS STATUS-PATTERN
#   NTP yes/no before the press; SYNCED yes/no for NTPSynchronized; RULE YES/NO for set-time; ANSWER
#   the key for the question (none: no question expected); REQUESTS the clock requests expected.
run_case() {
    local name=$1 want_ntp=$2 synced=$3 rule=$4 answer=$5 requests=$6 pattern=$7 case_started=$SECONDS
    if [ "$synced" = yes ]; then touch "$tree$test_dir/synced"; else rm -f "$tree$test_dir/synced"; fi
    polkit_rule "$rule"
    inside timedatectl set-ntp "$([ "$want_ntp" = yes ] && echo true || echo false)"
    wait_ntp "$want_ntp" || fail "$name: timedated's NTP does not read $want_ntp"
    [ "$want_ntp" = no ] || inside timedatectl show -p NTPSynchronized --value | grep -qx "$synced" ||
        fail "$name: NTPSynchronized does not read $synced"
    : >"$tree$test_dir/clock.log"
    local case_wall
    case_wall=$(date +%s)
    inside sh -c ': >/tmp/status.log && chmod 666 /tmp/status.log'

    inside setpriv --reuid=clockuser --regid=clockuser --init-groups \
        env HOME=/home/clockuser DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb \
        LD_PRELOAD=/usr/local/lib/orvane-test/status-hook.so ORVANE_STATUS_LOG=/tmp/status.log \
        /usr/bin/orvane >"$scratch/orvane-$name.log" 2>&1 &
    program_pid=$!
    local window=
    for _ in $(seq 1 300); do
        window=$(xdotool search --onlyvisible --name '^Orvane$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { cat "$scratch/orvane-$name.log" >&2; fail "$name: no main window"; }
    sleep 0.5
    # The focus starts on Set Clock: Enter presses it.
    timeout 10 xdotool windowfocus --sync "$window" key Return || fail "$name: the main window did not take the focus"
    if [ "$answer" != none ]; then
        local box=
        # xdotool matches names without regard to case: the box is the other window.
        for _ in $(seq 1 200); do
            box=$(xdotool search --onlyvisible --name '^orvane$' 2>/dev/null | grep -vx "$window" | head -n1) && break
            sleep 0.1
        done
        [ -n "$box" ] || fail "$name: no question before setting the clock"
        sleep 0.3
        timeout 10 xdotool windowfocus --sync "$box" key "$answer" || fail "$name: the question did not take the focus"
    fi
    local status=
    for _ in $(seq 1 300); do
        inside cat /tmp/status.log >"$scratch/status.log"
        status=$(status_text) && [ -n "$status" ] && break
        sleep 0.1
    done
    sleep 0.5
    timeout 10 xdotool windowfocus --sync "$window" key alt+x 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=

    local log=$tree$test_dir/clock.log count
    count=$(grep -c '^clock_settime ' "$log" || true)
    [ "$count" -eq "$requests" ] || { cat "$log" >&2; fail "$name: $count clock requests reached timedated, not $requests"; }
    if [ "$count" -gt 0 ]; then
        # The time asked for, against the real time of the request: the record's second and the
        # time since it was read, so no further off than the record's truncated fraction of a second.
        awk '$1 == "clock_settime" { d = $2 - $3; if (d < -1.1 || d > 0.5) { print "off by " d " s"; exit 1 } }' "$log" ||
            fail "$name: the clock request was not the true time: $(cat "$log")"
    fi
    [ "$(ntp)" = "$want_ntp" ] || fail "$name: NTP reads $(ntp) afterwards, not $want_ntp"
    # How long synchronisation was off, from timedated's own log.
    local off_window
    off_window=$(inside journalctl -u systemd-timedated -o short-unix --since "@$case_wall" --no-pager |
        awk '/Set NTP to disabled/ { off = $1 } /Set NTP to enabled/ && off { printf ", synchronisation off for %.2fs", $1 - off; off = 0 }')
    [[ "$status" =~ $pattern ]] || fail "$name: the status line read \"$status\""
    pass "$name: $count clock request(s), NTP $want_ntp afterwards$off_window, \"$status\" ($((SECONDS - case_started))s)"
}

day='Set computer'"'"'s clock to .+'
run_case synchronised yes yes YES none 0 "^Automatic time synchronisation keeps the computer's clock\.  NIST's time differs from it by [0-9]+ s\.$"
run_case unsynchronised-accepted yes no YES Return 1 "^$day\.  Automatic time synchronisation is on again\.$"
run_case unsynchronised-refused yes no NO Return 0 "^Could not set clock: the system did not allow it\.  Automatic time synchronisation is on again\.$"
run_case off no no YES none 1 "^$day\.$"
pass "all cases in $((SECONDS - started))s"
