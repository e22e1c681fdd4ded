#!/usr/bin/env bash
# Builds the application and runs it. Without an audio device it first starts a
# JACK dummy server (16 in, 16 out); without a display it first starts Xvfb.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release

app="$root/build/release/standalone/Tarrowby_artefacts/Release/Tarrowby"

source "$root/scripts/lib/servers.sh"
trap stop_servers EXIT

if [ -z "${DISPLAY:-}" ]; then
    start_xvfb
    echo "No display found: started a virtual one (Xvfb) on $DISPLAY."
fi

if ! audio_device_present; then
    start_jackd tarrowby
    echo "No audio device found: started a JACK dummy server \"tarrowby\" (48 kHz, 16 in, 16 out)."
fi

"$app"
