#!/usr/bin/env bash
# Builds the application and runs it. Without an audio device it first starts a
# JACK dummy server of its own (16 in, 16 out); without a display, Xvfb.
# SIGINT (Ctrl-C), SIGTERM and SIGHUP are passed on to the application, which
# quits and saves; then the servers started here are stopped. TARROWBY_APP names
# an application already built, to run without installing and building.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
app=${TARROWBY_APP:-}
if [ -z "$app" ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh" release
    app="$root/build/release/standalone/Tarrowby_artefacts/Release/Tarrowby"
fi

source "$root/scripts/lib/servers.sh"
trap stop_servers EXIT

if [ -z "${DISPLAY:-}" ]; then
    start_xvfb
    echo "No display found: started a virtual one (Xvfb) on $DISPLAY."
fi

if ! audio_device_present; then
    start_jackd "tarrowby-$$"
    echo "No audio device found: started a JACK dummy server \"$JACK_DEFAULT_SERVER\" (48 kHz, 16 in, 16 out)."
fi

# In the background, with SIGINT and SIGQUIT back at their defaults (a script's
# background commands ignore them), so that the script can wait for its quit.
(
    trap - INT QUIT
    exec "$app"
) &
app_pid=$!
trap 'kill -s INT "$app_pid" 2>/dev/null || true' INT
trap 'kill -s TERM "$app_pid" 2>/dev/null || true' TERM
trap 'kill -s HUP "$app_pid" 2>/dev/null || true' HUP
# A trapped signal ends a wait early: wait again until the application has gone.
while kill -0 "$app_pid" 2>/dev/null; do
    wait "$app_pid" || true
done
status=0
wait "$app_pid" || status=$?
exit "$status"
