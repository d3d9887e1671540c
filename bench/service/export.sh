#!/usr/bin/env bash
# Peak memory and time of `score-service admin export` at 100,000 and
# 1,000,000 stored records, on SQLite and on a private PostgreSQL 15: bounded
# memory shows as the same peak at both sizes.
# Usage: bench/service/export.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: bench/service/export.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/lib.sh"
source "$here/pg.sh"
source "$here/seed.sh"
service="$build/service/score-service"
svc_pid="" # no service runs here; the shared cleanup stops one

measure() { # ENGINE N DATABASE
  for format in csv jsonl; do
    /usr/bin/time -f "%M %e" -o "$work/time" "$service" admin export --format "$format" \
      --database "$3" >"$work/out" 2>/dev/null
    read -r kib seconds <"$work/time"
    printf '%-8s %8d records  %-5s peak RSS %6d KiB  %6.1f s  %5d MiB written  load %s\n' \
      "$1" "$2" "$format" "$kib" "$seconds" $(($(stat -c %s "$work/out") / 1048576)) "$(load)"
  done
}

start_postgres
for n in 100000 1000000; do
  db="$work/export-$n.sqlite3"
  : >"$db"
  "$service" admin list --database "$db" >/dev/null # creates the schema
  seed_sqlite "$db" "$n" >/dev/null
  "$service" admin list --held --database "$db" >/dev/null # migrates the seeded schema
  measure sqlite "$n" "$db"
  psql_scores -c "DROP SCHEMA public CASCADE; CREATE SCHEMA public;" >/dev/null 2>&1
  "$service" admin list --database "$pg_url" >/dev/null
  seed_postgres "$n" >/dev/null 2>&1
  "$service" admin list --held --database "$pg_url" >/dev/null
  measure postgres "$n" "$pg_url"
done
