#!/usr/bin/env bash
# Builds everything and runs every test: the unit and component tests (with
# AddressSanitizer and UndefinedBehaviorSanitizer), the stress test again under
# ThreadSanitizer, a short run of each fuzz target, then the end-to-end tests
# against the release application on a private X display.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" test
"$root/scripts/build.sh" release
"$root/scripts/build.sh" tsan
"$root/scripts/build.sh" fuzz

source "$root/scripts/lib/servers.sh"
trap stop_servers EXIT
start_xvfb

export HOME=$(mktemp -d)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0

jobs=${TARROWBY_JOBS:-$(nproc)}
(cd "$root/build/test" && ctest --output-on-failure --no-tests=error -j "$jobs")
(cd "$root/build/tsan" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest -L stress --output-on-failure --no-tests=error -j "$jobs")
(cd "$root/build/fuzz" && ctest -L fuzz --output-on-failure --no-tests=error -j "$jobs")
tail -q -n 1 "$root"/build/fuzz/tests/fuzz/work/*/summary.txt 2>/dev/null || true
(cd "$root/build/release" && ctest --output-on-failure --no-tests=ignore -j 1)
