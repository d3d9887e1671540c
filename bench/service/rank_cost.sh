#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# Accepted submissions per second as the stored records grow: none, 1,000,000
# (30 % on the load's processor) and 10,000,000 (all on it), on SQLite and
# PostgreSQL. With an older score-service given, it runs first on the same
# seeded data, then this build, which migrates it (the start-up time printed
# includes the backfill of its counts). Every submission is slower than every
# seeded record, so its rank is the costliest one; wrk -t2 -c50, each request
# on a new TLS connection. Loopback only; every step is bounded in time.
# Usage: bench/service/rank_cost.sh [build dir] [older score-service] [seconds] [sizes] [engines]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build old= seconds=20 "sizes=0 1000000 10000000" "engines=sqlite postgres" -- "$@"
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/pg.sh
source bench/service/seed.sh
export SUBMIT_XCODE_SEC=219.999

load_run() { # LABEL BINARY DATABASE
  echo "== $1"
  stamp
  local started
  started=$(date +%s.%N)
  svc_binary=$2 start_service "$3"
  echo "start-up, migration included: $(echo "$(date +%s.%N) - $started" | bc) s"
  wrk -t2 -c50 -d"${seconds}s" --timeout 10s -s bench/service/submit.lua "$svc_url/api/submit" |
    grep -E '^status|latency'
  stop_service
}

both() { # ENGINE DATABASE
  [[ -n "$old" ]] && load_run "$1, $records records, older binary" "$old" "$2"
  load_run "$1, $records records, this build" "$build/service/score-service" "$2"
}

echo "machine: $(nproc) cores; wrk -t2 -c50 -d${seconds}s, Connection: close"
start_postgres
for records in $sizes; do
  share=3
  ((records == 10000000)) && share=10
  if [[ $engines == *sqlite* ]]; then
    rm -f "$work/scores.sqlite3"*
    svc_binary=${old:-$build/service/score-service} start_service "$work/scores.sqlite3"
    stop_service
    ((records > 0)) && seed_sqlite "$work/scores.sqlite3" "$records" "$share" >/dev/null
    both SQLite "$work/scores.sqlite3"
  fi
  if [[ $engines == *postgres* ]]; then
    psql_scores -c 'DROP SCHEMA public CASCADE; CREATE SCHEMA public' 2>/dev/null
    svc_binary=${old:-$build/service/score-service} start_service "$pg_url"
    stop_service
    ((records > 0)) && seed_postgres "$records" "$share" >/dev/null 2>&1
    both PostgreSQL "$pg_url"
  fi
done
rm -f "$work/scores.sqlite3"*
echo "load after: $(load)"
