# A private X display for the scripts that show windows; sourced, not run:
#   . scripts/xvfb.sh; start_xvfb "$scratch"; ...; stop_xvfb
# start_xvfb sets xvfb_pid and exports DISPLAY; it leaves Xvfb's log and display number in the folder.

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
