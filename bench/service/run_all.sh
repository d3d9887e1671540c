#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# Every score-service figure in BENCHMARKS.md, in one run, with the machine's
# load printed next to each. Loopback only; every step is bounded in time.
# Usage: bench/service/run_all.sh [build dir]   (needs score-service and the
# bench/service/server_choice servers built; wrk, sqlite3, PostgreSQL 15, python3)
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build -- "$@"
cd "$(dirname "$0")/../.."
echo "== machine: $(nproc) cores, $(grep MemTotal /proc/meminfo | tr -s ' '), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== library choice"
bench/service/server_choice/run.sh "$build" 1000 30
echo "== SQLite commit rate"
folder=$(mktemp -d)
python3 bench/service/sqlite_commit.py "$folder" 3 3
rm -rf "$folder"
echo "== submissions, empty databases"
bench/service/submissions.sh "$build" 20 0
echo "== submissions, 1,000,000 stored records"
bench/service/submissions.sh "$build" 20 1000000
echo "== submissions as the stored records grow: 0, 1,000,000, 10,000,000 on one processor"
bench/service/rank_cost.sh "$build" "" 20
echo "== SQLite request threads"
bench/service/sqlite_threads.sh "$build" 10
echo "== statement costs"
bench/service/queries.sh "$build" 1000000
echo "== page"
bench/service/page.sh "$build" 1000000 10
echo "== ceiling: nginx, the service with TLS, the service behind nginx"
bench/service/ceiling.sh "$build" 10 3
echo "== submission throughput; this build as both old and new, so their gap is the noise"
bench/service/throughput.sh "$build/service/score-service" "$build/service/score-service" 10 1000000
echo "== slow clients"
bench/service/slow.sh "$build" 1000 30
echo "== done, load $(cut -d' ' -f1-3 /proc/loadavg)"
