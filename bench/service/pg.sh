# shellcheck shell=bash
# Sourced after lib.sh: the tests' throwaway PostgreSQL 15 (scripts/lib/postgres.sh) in
# $work, stopped by the cleanup hook. start_postgres sets pg_url.
pg_script=$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/postgres.sh

start_postgres() {
  "$pg_script" start "$work/pg.url" >/dev/null
  pg_url=$(cat "$work/pg.url")
}
stop_postgres() { "$pg_script" stop "$work/pg.url"; }
cleanup_hooks=(stop_service stop_postgres)

psql_scores() { psql -q "$pg_url" "$@"; }
empty_postgres() { psql_scores -c 'DROP SCHEMA public CASCADE; CREATE SCHEMA public' >/dev/null 2>&1; }
