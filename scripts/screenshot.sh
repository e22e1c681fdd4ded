#!/usr/bin/env bash
# Takes a picture of the application's window as it looks at first start, on a
# private X display and JACK dummy server, into docs/screenshot.png (or $1).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshot.png}
app="$root/build/release/standalone/Tarrowby_artefacts/Release/Tarrowby"

if [ ! -x "$app" ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh" release >/dev/null
fi

source "$root/scripts/lib/servers.sh"
source "$root/scripts/lib/app.sh"

use_private_home

start_xvfb
start_jackd "tarrowby-shot-$$"

start_app_and_wait "$app" "$home"

# Wait until the notification bar has been painted (its light yellow), then take the picture.
for _ in $(seq 1 100); do
    colour=$(import -window root -crop "1x1+$((X + 3))+$((Y + 29))" +repage -format '%[hex:p{0,0}]' info: 2>/dev/null || true)
    case "$colour" in FAFAD2*) break ;; esac
    sleep 0.1
done

mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "Saved $out (${WIDTH}x${HEIGHT})"
