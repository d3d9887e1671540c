#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# The figures a service change affects, for two builds in one run, each
# script run for the old build and then the new, so that both see the same
# machine. Loopback only; every step is bounded in time.
# Usage: bench/service/before_after.sh OLD_BUILD NEW_BUILD [seconds]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args old new seconds=10 -- "$@"
cd "$(dirname "$0")/../.."
echo "== machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
both() { # label command args (the build goes first)
  local label=$1 script=$2
  shift 2
  for build in "$old" "$new"; do
    echo "==== $label, $build, $(date -u +%H:%M:%S), load $(cut -d' ' -f1-3 /proc/loadavg)"
    "$script" "$build" "$@"
  done
}
both "SQLite request threads" bench/service/sqlite_threads.sh "$seconds"
echo "==== statement costs (no service build involved)"
bench/service/queries.sh "$new" 1000000
both "submissions, 1,000,000 stored" bench/service/submissions.sh "$seconds" 1000000
both "page" bench/service/page.sh 1000000 "$seconds"
both "submissions, empty" bench/service/submissions.sh "$seconds" 0
echo "== done, load $(cut -d' ' -f1-3 /proc/loadavg)"
