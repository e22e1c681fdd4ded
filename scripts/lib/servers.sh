# Helpers that start a private X display and a private JACK dummy server.
# Source this file; each start function exports what clients need and
# registers the server for stop_servers. The servers run in sessions of their
# own, so that a terminal's Ctrl-C or hang-up reaches the script and not them.

started_pids=()

# start_xvfb: starts Xvfb on a free display number and exports DISPLAY.
start_xvfb() {
    local n pid
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            setsid Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
            pid=$!
            started_pids+=("$pid")
            # A number taken meanwhile ends this Xvfb (the lock file names the other): the next is tried.
            for _ in $(seq 1 100); do
                if ! kill -0 "$pid" 2>/dev/null; then
                    unset 'started_pids[-1]'
                    continue 2
                fi
                if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && [ "$(tr -d ' ' 2>/dev/null <"/tmp/.X$n-lock")" = "$pid" ]; then
                    export DISPLAY=":$n"
                    return 0
                fi
                sleep 0.1
            done
            echo "Xvfb did not come up on :$n" >&2
            return 1
        fi
    done
    echo "no free X display number" >&2
    return 1
}

# start_jackd NAME [PERIOD] [SCHEDULING]: starts a JACK dummy server with 16 inputs
# and 16 outputs at 48 kHz under the given server name, which no server may hold yet,
# and exports JACK_DEFAULT_SERVER. SCHEDULING is --no-realtime (the default) or
# --realtime. The server writes to a new file in $TMPDIR (or /tmp), named in jackd_log.
start_jackd() {
    local name=$1 period=${2:-512} scheduling=${3:---no-realtime} pid
    if jack_lsp -s "$name" >/dev/null 2>&1; then
        echo "a JACK server named $name runs already" >&2
        return 1
    fi
    jackd_log=$(mktemp --tmpdir "jackd-$name-XXXXXX.log")
    setsid jackd "$scheduling" -n "$name" -d dummy -r 48000 -p "$period" -C 16 -P 16 >"$jackd_log" 2>&1 &
    pid=$!
    started_pids+=("$pid")
    export JACK_DEFAULT_SERVER="$name"
    export JACK_NO_AUDIO_RESERVATION=1
    # The name was free: while this jackd runs, the server that answers to it is this one.
    for _ in $(seq 1 100); do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "jackd $name ended at start; see $jackd_log" >&2
            return 1
        fi
        if jack_lsp -s "$name" >/dev/null 2>&1; then
            kill -0 "$pid" 2>/dev/null && return 0
        fi
        sleep 0.1
    done
    echo "jackd $name did not start; see $jackd_log" >&2
    return 1
}

# stop_servers: stops the servers started here, ignoring quit signals from then on.
stop_servers() {
    local pid
    trap '' INT TERM HUP
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${started_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    started_pids=()
}

# audio_device_present: true when a sound card or a running JACK server is there.
audio_device_present() {
    compgen -G "/dev/snd/pcmC*" >/dev/null && return 0
    jack_lsp >/dev/null 2>&1 && return 0
    return 1
}
