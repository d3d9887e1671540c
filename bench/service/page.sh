#!/usr/bin/env bash
# The views' latency over N stored records (default 1,000,000) of some ten thousand processors
# with a long tail (seed.sh's SEED_TAIL), SQLite and PostgreSQL: wrk, one keep-alive connection
# per URL (the time the service takes for one view, each URL seen once before), then 10 at once
# on "/". Then, on SQLite, the leaderboard's size on the wire and the service's memory before
# and after every processor's page.
# Usage: bench/service/page.sh [build dir] [records] [seconds per URL]
set -euo pipefail
build=${1:-build} records=${2:-1000000} seconds=${3:-10}
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/pg.sh
source bench/service/seed.sh
export SEED_TAIL=1

enc() { python3 -c 'import sys,urllib.parse;print(urllib.parse.quote(sys.argv[1]))' "$1"; }
popular=$(enc "$popular_chip")
rare_sql="SELECT chip_type FROM chip_totals WHERE chip_type LIKE 'Tail CPU %' ORDER BY records, chip_type DESC LIMIT 1"
set_paths() { # rare: a processor of the tail with fewest results
  local rare
  rare=$(enc "$1")
  paths=("/" "/processors?sort=median" "/processors?sort=count" "/processors?sort=name"
  "/processors?q=cpu%201" "/processors?q=$rare" "/?chip=$popular" "/?chip=$rare"
  "/compare?a=$popular&b=$(enc "Common CPU 7")" "/api/processors?sort=median"
  "/api/processor?chip=$popular" "/api/scores?limit=100" "/api/scores?chip=$popular&limit=100")
}

measure() { # engine
  # The first list after a start reads every processor's figures once; the
  # runs then time views of a board that has seen each URL.
  echo "== $1, first view of /processors: $(curl -sk -o /dev/null -w '%{time_total}' "$svc_url/processors") s"
  for path in "${paths[@]}"; do curl -sk -o /dev/null "$svc_url$path"; done
  for path in "${paths[@]}"; do
    echo "== $1, GET $path, 1 connection, $(stamp)"
    wrk -t1 -c1 -d"${seconds}s" --timeout 10s --latency "$svc_url$path" |
      grep -E '^ +(50|99)%|Requests/sec|Non-2xx|requests in'
  done
  echo "== $1, GET /, 10 connections, $(stamp)"
  wrk -t1 -c10 -d"${seconds}s" --timeout 10s --latency "$svc_url/" |
    grep -E '^ +(50|99)%|Requests/sec|Non-2xx|requests in'
}

rss() { awk '/^VmRSS/ { print $2 " kB" }' "/proc/$svc_pid/status"; }

# Every processor's page once, on one keep-alive connection: curl keeps it from URL to URL.
# The seeded names need only their spaces encoded.
every_processor_page() {
  local config="'url = \"$svc_url/?chip=' || replace(chip_type, ' ', '%20') || '\"' || char(10) || 'output = /dev/null'"
  echo "$(sqlite3 "$work/scores.sqlite3" "SELECT $config FROM chip_totals" |
    curl -sk -K - -w '%{http_code}\n' | grep -c '^200$') processor pages viewed"
}

# Seeds before the service starts: the seed takes the schema back to version 2
# and drops the triggered counts, and the start backfills them.
seed_then_start() { # engine database
  echo "seeding $1: $(stamp)"
  SECONDS=0
  seeded_database "$2" "$records"
  echo "seeded in $SECONDS s"
  SECONDS=0
  start_service "$2"
  echo "started (counts backfilled) in $SECONDS s"
}

echo "machine: $(nproc) cores; $records records"
seed_then_start SQLite "$work/scores.sqlite3"
set_paths "$(sqlite3 "$work/scores.sqlite3" "$rare_sql")"
echo "== the leaderboard on the wire: $(curl -sk "$svc_url/" | wc -c) bytes"
measure SQLite
echo "== memory before every processor's page: $(rss)"
every_processor_page
echo "== memory after: $(rss)"
stop_service

start_postgres
seed_then_start PostgreSQL "$pg_url"
set_paths "$(psql_scores -Atc "$rare_sql")"
measure PostgreSQL
stop_service
echo "load after: $(load)"
