# shellcheck shell=bash
# Sourced: a private PostgreSQL 15 in $work/pg, run as an unprivileged user on
# a private loopback port. Sets pg_url. Stopped by the cleanup hook.
pg_bin=/usr/lib/postgresql/15/bin
pg_user=postgres
id "$pg_user" >/dev/null 2>&1 || pg_user=nobody
pg_port=$((20000 + RANDOM % 20000))

as_pg() { runuser -u "$pg_user" -- "$@"; }

start_postgres() {
  mkdir -p "$work/pg"
  chown "$pg_user" "$work/pg"
  as_pg "$pg_bin/initdb" -D "$work/pg/data" -U bench --auth=trust -E UTF8 >/dev/null
  as_pg "$pg_bin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w -o \
    "-c listen_addresses=127.0.0.1 -p $pg_port -c unix_socket_directories=$work/pg" start >/dev/null
  as_pg "$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U bench scores
  pg_url="postgresql://bench@127.0.0.1:$pg_port/scores"
}

stop_postgres() {
  [[ -d "$work/pg/data" ]] && as_pg "$pg_bin/pg_ctl" -D "$work/pg/data" -m fast -w stop >/dev/null
}
cleanup_hooks=(stop_service stop_postgres)

psql_scores() { as_pg psql -q -h 127.0.0.1 -p "$pg_port" -U bench -d scores "$@"; }
