#!/usr/bin/env bash
# Every score-service figure in BENCHMARKS.md that its harness still measures,
# in one run, with the machine's load printed next to each. Loopback only;
# every step is bounded in time.
# Usage: bench/service/run_all.sh [build dir]   (needs score-service and review_rule
# built; wrk, nginx, sqlite3, PostgreSQL 15, python3)
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/../.."
echo "== machine: $(nproc) cores, $(grep MemTotal /proc/meminfo | tr -s ' '), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== SQLite commit rate"
folder=$(mktemp -d)
python3 bench/service/sqlite_commit.py "$folder" 3 3
rm -rf "$folder"
echo "== review rule's limits"
"$build/bench/service/review_rule"
echo "== pages and the processors' views"
bench/service/page.sh "$build" 1000000 10
echo "== views against nginx, the validator, a mixed load, CPU per connection"
bench/service/views.sh "$build" 100000 10
echo "== submission throughput; this build as both old and new, so their gap is the noise"
bench/service/throughput.sh "$build/service/score-service" "$build/service/score-service" 10 1000000
echo "== export memory"
bench/service/export.sh "$build"
echo "== slow clients"
bench/service/slow.sh "$build" 1000 30
echo "== done, load $(cut -d' ' -f1-3 /proc/loadavg)"
