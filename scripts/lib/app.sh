# Helpers that run the built application with a HOME of its own. Source this file.

app_pid=
app_home=

# use_private_home: sets home to a new temporary folder for the application, and
# on exit stops the application and the servers and removes that folder.
use_private_home() {
    home=$(mktemp -d)
    trap 'stop_app; stop_servers; rm -rf "$home"' EXIT
}

# start_app_and_wait APP HOME: starts the application with that HOME and waits up to
# 20 s for its window; sets app_pid, window, X, Y, WIDTH and HEIGHT.
start_app_and_wait() {
    local app=$1
    app_home=$2
    HOME="$app_home" "$app" >"$app_home/app.log" 2>&1 &
    app_pid=$!

    window=
    for _ in $(seq 1 200); do
        window=$(xdotool search --onlyvisible --name '^Tarrowby$' 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        echo "the application's window did not appear" >&2
        cat "$app_home/app.log" >&2
        return 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
}

# stop_app: ends the application if it still runs, ignoring quit signals from then on.
stop_app() {
    trap '' INT TERM HUP
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
        app_pid=
    fi
}
