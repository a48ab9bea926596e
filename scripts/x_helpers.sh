# Sourced by the scripts that run the player under a virtual X screen of their own.

# Starts Xvfb (800x600, 24 bits) on the first free display number from $1 on, exports DISPLAY,
# sets server to its process id and waits for its socket.
start_xvfb() {
    local number=$1
    while [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
    export DISPLAY=":$number"
    Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    server=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
}

# Sets window to the first window whose name starts with $1, waiting up to 10 s; empty if none.
wait_for_window() {
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --name "^$1" 2>/dev/null | head -1 || true)
        [ -n "$window" ] && return 0
        sleep 0.1
    done
}
