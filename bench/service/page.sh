#!/usr/bin/env bash
# Leaderboard page and /api/scores latency with N stored records (default
# 1,000,000), SQLite and PostgreSQL. wrk, one keep-alive connection per URL
# (the time the service takes for one view), then 10 at once on "/".
# Usage: bench/service/page.sh [build dir] [records] [seconds per URL]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
records=${2:-1000000}
seconds=${3:-10}
source bench/service/lib.sh
source bench/service/pg.sh
source bench/service/seed.sh

rare_chip="Seed CPU 7"
enc() { python3 -c 'import sys,urllib.parse;print(urllib.parse.quote(sys.argv[1]))' "$1"; }
paths=("/" "/?chip=$(enc "$popular_chip")" "/?chip=$(enc "$rare_chip")"
  "/api/scores?limit=100" "/api/scores?chip=$(enc "$popular_chip")&limit=100")

measure() { # engine label
  for path in "${paths[@]}"; do
    echo "== $1, GET $path, 1 connection, $(stamp)"
    wrk -t1 -c1 -d"${seconds}s" --timeout 10s --latency "$svc_url$path" |
      grep -E '^ +(50|99)%|Requests/sec|Non-2xx|requests in'
  done
  echo "== $1, GET /, 10 connections, $(stamp)"
  wrk -t1 -c10 -d"${seconds}s" --timeout 10s --latency "$svc_url/" |
    grep -E '^ +(50|99)%|Requests/sec|Non-2xx|requests in'
}

echo "machine: $(nproc) cores; $records records"
start_service "$work/scores.sqlite3"
stop_service
echo "seeding SQLite: $(stamp)"
/usr/bin/time -f "seeded in %e s" bash -c "$(declare -f seed_sqlite); popular_chip='$popular_chip'; seed_sqlite '$work/scores.sqlite3' $records"
start_service "$work/scores.sqlite3"
measure SQLite
stop_service

start_postgres
start_service "$pg_url"
echo "seeding PostgreSQL: $(stamp)"
SECONDS=0
seed_postgres "$records"
echo "seeded in $SECONDS s"
measure PostgreSQL
stop_service
echo "load after: $(load)"
