#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# Leaderboard page and /api/scores latency with N stored records (default
# 1,000,000), SQLite and PostgreSQL. wrk, one keep-alive connection per URL
# (the time the service takes for one view), then 10 at once on "/".
# Usage: bench/service/page.sh [build dir] [records] [seconds per URL]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build records=1000000 seconds=10 -- "$@"
cd "$(dirname "$0")/../.."
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

# Seeds with the service stopped, then starts it: the seed takes the schema back
# to version 2 and drops the triggered counts, and the start backfills them.
seed_then_start() { # engine database
  echo "seeding $1: $(stamp)"
  SECONDS=0
  if [[ $1 == SQLite ]]; then seed_sqlite "$2" "$records" >/dev/null; else seed_postgres "$records" >/dev/null 2>&1; fi
  echo "seeded in $SECONDS s"
  SECONDS=0
  start_service "$2"
  echo "started (counts backfilled) in $SECONDS s"
}

echo "machine: $(nproc) cores; $records records"
start_service "$work/scores.sqlite3" # creates the schema
stop_service
seed_then_start SQLite "$work/scores.sqlite3"
measure SQLite
stop_service

start_postgres
start_service "$pg_url"
stop_service
seed_then_start PostgreSQL "$pg_url"
measure PostgreSQL
stop_service
echo "load after: $(load)"
