#!/usr/bin/env bash
# run-fuzzer.sh PROGRAM SEEDS WORK SECONDS: fuzzes from the seed corpus for the
# given time. New inputs go to a fresh WORK/corpus, and anything that crashes,
# leaks, runs out of memory or time goes to WORK/ (and fails the run). The
# fuzzer's output is kept in WORK/fuzz.log; its end is shown when the run fails.
set -uo pipefail

program=$1 seeds=$2 work=$3 seconds=$4

rm -rf "$work"
mkdir -p "$work/corpus"

"$program" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -detect_leaks=1 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$seeds" >"$work/fuzz.log" 2>&1
status=$?

if [ $status -ne 0 ]; then
    tail -n 80 "$work/fuzz.log"
fi

executions=$(grep -a -m1 -o 'number_of_executed_units: [0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || echo '?')
echo "$(basename "$program"): $executions executions in $seconds s, exit $status" | tee "$work/summary.txt"
exit $status
