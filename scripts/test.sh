#!/usr/bin/env bash
# Builds everything and runs every test: first the format check, then the unit
# and component tests (with AddressSanitizer and UndefinedBehaviorSanitizer), the
# stress test again under ThreadSanitizer, a short run of each fuzz target, then
# the end-to-end tests against the release application on a private X display.
#   scripts/test.sh        all of the above
#   scripts/test.sh unit   only the unit and component tests (the "test" flavour)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-all}

case "$mode" in
    all | unit) ;;
    *)
        echo "usage: $0 [unit]" >&2
        exit 2
        ;;
esac

"$root/scripts/install-deps.sh"

if [ "$mode" = all ]; then
    "$root/scripts/check-format.sh"
fi

"$root/scripts/build.sh" test

if [ "$mode" = all ]; then
    "$root/scripts/build.sh" release
    "$root/scripts/build.sh" tsan
    "$root/scripts/build.sh" fuzz
fi

source "$root/scripts/lib/servers.sh"
trap stop_servers EXIT
start_xvfb
# Audio devices opened by the tests reach no JACK server but their own: never the user's default one.
export JACK_DEFAULT_SERVER="tarrowby-none-$$" JACK_NO_START_SERVER=1

export HOME=$(mktemp -d)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0

jobs=${TARROWBY_JOBS:-$(nproc)}
(cd "$root/build/test" && ctest --output-on-failure --no-tests=error -j "$jobs")

if [ "$mode" = unit ]; then
    exit 0
fi

(cd "$root/build/tsan" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest -L stress --output-on-failure --no-tests=error -j "$jobs")
(cd "$root/build/fuzz" && ctest -L fuzz --output-on-failure --no-tests=error -j "$jobs")
tail -q -n 1 "$root"/build/fuzz/tests/fuzz/work/*/summary.txt 2>/dev/null || true
# The end-to-end tests in full, so that pytest's summary shows; in CI (as root) no case may skip.
e2e_log="$root/build/release/e2e.log"
(cd "$root/build/release" && ctest -V --no-tests=error -j 1) | tee "$e2e_log"
summary=$(sed -n 's/^[0-9]*: \([0-9][0-9]* passed.* in [0-9.]*s\)$/\1/p' "$e2e_log" | tail -n 1)
echo "end-to-end: ${summary:-no pytest summary}"
if [ "${CI:-false}" != false ] && [[ -z $summary || $summary == *skipped* ]]; then
    echo "in CI every end-to-end case must run; see the skip reasons above" >&2
    exit 1
fi
