# Shows the main window and Configure of a started program and grabs each; sourced, not run:
#   . scripts/screenshots.sh; grab() { ...; }; shoot_windows PID MAIN.png CONFIGURE.png
# The caller's grab TITLE FILE takes the picture of the window titled TITLE. shoot_windows waits for
# the main window, opens Configure with its mnemonic, closes it, ends the program with Alt+X and
# waits for it.
shoot_windows() {
    local pid=$1 main=$2 configure=$3
    # The first start in a new Wine prefix takes a few seconds.
    for _ in $(seq 1 100); do
        xdotool search --name '^Orvane$' >/dev/null 2>&1 && break
        sleep 0.2
    done
    sleep 1
    grab Orvane "$main"
    xdotool key alt+c
    sleep 1
    grab Configure "$configure"
    xdotool key Escape
    sleep 0.5
    xdotool key alt+x
    wait "$pid" || true
}
