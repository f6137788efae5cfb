# A private X display for the scripts that show windows; sourced, not run:
#   . scripts/xvfb.sh; start_xvfb "$scratch"; ...; stop_xvfb
# start_xvfb sets xvfb_pid and exports DISPLAY; it leaves Xvfb's log and display number in the folder.
# wait_for_window waits for a shown window on that display.

xvfb_pid=

# A display of our own: Xvfb picks a free number and writes it to the descriptor it is given.
start_xvfb() {
    local folder=$1
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$folder/display" >"$folder/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$folder/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$folder/display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$folder/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=":$(head -n1 "$folder/display")"
}

stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
}

# Waits up to 60 seconds for a window on $DISPLAY whose xwininfo line matches the pattern and which
# is shown (mapped, with every parent mapped), while the process `pid` lives: wait_for_window PATTERN PID
wait_for_window() {
    local pattern=$1 pid=$2 id
    for _ in $(seq 1 600); do
        for id in $(xwininfo -root -tree 2>/dev/null | grep -E -- "$pattern" | awk '{print $1}'); do
            xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
        done
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
