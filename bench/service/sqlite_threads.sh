#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# SQLite submissions over plain HTTP with 4 request threads (the default) and
# with 1, alternated: with several, writers meet SQLite's lock and wait in its
# busy handler, which sleeps in growing steps.
# Usage: bench/service/sqlite_threads.sh [build dir] [seconds]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build seconds=10 -- "$@"
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
for threads in 4 1 4 1; do
  svc_plain=1 start_service "$work/t$threads-$RANDOM.sqlite3" --threads "$threads"
  echo "== --threads $threads $(stamp)"
  wrk -t2 -c50 -d"${seconds}s" --timeout 10s -s bench/service/submit.lua "$svc_url/api/submit" |
    grep -E '^status|latency p50'
  stop_service
done
