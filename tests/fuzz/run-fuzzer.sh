#!/usr/bin/env bash
# run-fuzzer.sh PROGRAM SEEDS WORK SECONDS: fuzzes from the seed corpus for the
# given time. New inputs go to a fresh WORK/corpus, and anything that crashes,
# leaks, runs out of memory or time goes to WORK/ (and fails the run).
set -euo pipefail

program=$1 seeds=$2 work=$3 seconds=$4

rm -rf "$work"
mkdir -p "$work/corpus"

"$program" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -detect_leaks=1 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$seeds"
