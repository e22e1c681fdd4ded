#!/usr/bin/env bash
# run-fuzzer.sh PROGRAM SEEDS WORK SECONDS: fuzzes from the seeds for that long. New inputs go to
# WORK/corpus, failing ones to WORK/, the output to WORK/fuzz.log, whose end shows when the run fails.
rm -rf "$3" && mkdir -p "$3/corpus" || exit 1
"$1" -max_total_time="$4" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$3/" \
    "$3/corpus" "$2" >"$3/fuzz.log" 2>&1 || { status=$?; tail -n 80 "$3/fuzz.log"; exit $status; }
echo "$(basename "$1"): $(grep -a -m1 -o '[0-9]* runs in' "$3/fuzz.log") $4 s" | tee "$3/summary.txt"
