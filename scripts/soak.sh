#!/usr/bin/env bash
# Soak test: runs the application with its window open on a private JACK dummy
# server with a short period, feeds a tone to all 16 inputs, and reports the
# xruns seen during the run. Not part of the regular test run.
#   scripts/soak.sh [SECONDS (60)] [PERIOD (64)]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
period=${2:-64}

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release >/dev/null

app="$root/build/release/standalone/Tarrowby_artefacts/Release/Tarrowby"

source "$root/scripts/lib/servers.sh"
source "$root/scripts/lib/app.sh"

use_private_home

start_xvfb
server="tarrowby-soak-$$"

# A period this short needs real-time scheduling, which JACK uses where the system allows it.
if chrt -f 10 true 2>/dev/null; then
    scheduling=--realtime
else
    scheduling=--no-realtime
fi
start_jackd "$server" "$period" "$scheduling"

# Input muting off, so that the signal runs through the processor.
mkdir -p "$home/.Tarrowby"
cat >"$home/.Tarrowby/Tarrowby.settings" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="shouldMuteInput" val="0"/>
</PROPERTIES>
XML

start_app_and_wait "$app" "$home"

echo "Soaking for $seconds s at a period of $period samples (48 kHz) on JACK server \"$server\" ($scheduling)..."
result=$(cd "$root/tests/e2e" && /usr/bin/python3 - "$server" "$seconds" <<'PY'
import sys, time
import numpy as np
from harness import Probe
probe = Probe(sys.argv[1])
probe.connect()
xruns = probe.xruns
time.sleep(int(sys.argv[2]))
print(f"xruns: {probe.xruns - xruns}\nlowest output peak on channels 1-12: {np.abs(probe.ring[:12]).max(axis=1).min():.4f}")
PY
)
echo "$result"

if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "the application stopped during the soak" >&2
    exit 1
fi

# Close the window as a user would and expect a clean exit.
xdotool mousemove $((X + WIDTH - 17)) $((Y + 14)) click 1
status=0
for _ in $(seq 1 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
    echo "the application did not quit" >&2
    exit 1
fi
wait "$app_pid" || status=$?
app_pid=

server_xruns=$(grep -ci 'xrun' "$jackd_log" || true)
echo "server log lines mentioning xruns: $server_xruns"
echo "application exit status: $status"
client_xruns=$(echo "$result" | sed -n 's/^xruns: //p')
if [ "$status" -eq 0 ] && [ "${client_xruns:-1}" -eq 0 ]; then
    echo "target of 0 xruns: met"
else
    echo "target of 0 xruns: missed"
    exit 1
fi
