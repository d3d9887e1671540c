#!/usr/bin/env bash
# Peak memory and time of `score-service admin export` at 100,000 and
# 1,000,000 stored records (or the SIZES given), on SQLite and on a private
# PostgreSQL 15: bounded memory shows as the same peak at every size.
# Usage: bench/service/export.sh BUILD_DIR ["SIZES"]
set -euo pipefail
build=${1:?usage: bench/service/export.sh BUILD_DIR [\"SIZES\"]}
build=$(cd "$build" && pwd)
read -r -a sizes <<<"${2:-100000 1000000}"
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/lib.sh"
source "$here/pg.sh"
source "$here/seed.sh"
service="$build/service/score-service"

measure() { # N DATABASE
  local engine=sqlite format kib seconds
  [[ $2 == postgresql:* ]] && engine=postgres
  for format in csv jsonl; do
    /usr/bin/time -f "%M %e" -o "$work/time" "$service" admin export --format "$format" \
      --database "$2" >"$work/out" 2>/dev/null
    read -r kib seconds <"$work/time"
    printf '%-8s %8d records  %-5s peak RSS %6d KiB  %6.1f s  %5d MiB written  load %s\n' \
      "$engine" "$1" "$format" "$kib" "$seconds" $(($(stat -c %s "$work/out") / 1048576)) "$(load)"
  done
}

start_postgres
for n in "${sizes[@]}"; do
  for db in "$work/export-$n.sqlite3" "$pg_url"; do
    seeded_database "$db" "$n"
    start_service "$db" # brings the seeded schema up to date, so the export does not
    stop_service
    measure "$n" "$db"
  done
done
