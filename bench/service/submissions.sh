#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# Accepted submissions per second, each on a new TLS connection, at 50
# concurrent clients (wrk, 2 threads), on SQLite and PostgreSQL. Alongside:
# the whole-submission latency probe, the CPU each side spends per
# submission, and the same load on the trivial libmicrohttpd server (the
# ceiling of TLS + HTTP alone) and on the service over plain HTTP.
# With RECORDS > 0 the databases are first seeded with that many records (the
# load's processor is the popular one) and only the two engines run.
# Usage: bench/service/submissions.sh [build dir] [seconds] [records]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build seconds=20 records=0 -- "$@"
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/pg.sh
source bench/service/seed.sh

ticks() { # utime+stime of PIDS, in seconds
  local sum=0
  for pid in "$@"; do
    read -r -a f <"/proc/$pid/stat" || continue
    sum=$((sum + f[13] + f[14]))
  done
  echo "scale=2; $sum / $(getconf CLK_TCK)" | bc
}
pg_pids() {
  local main
  main=$(head -1 "$work/pg/data/postmaster.pid")
  echo "$main $(pgrep -P "$main" | tr '\n' ' ')"
}

# load_run LABEL URL SERVER_PID [extra pids command]
load_run() {
  local label=$1 url=$2 pid=$3 extra=${4:-}
  echo "== $label"
  stamp
  local before extra_before
  before=$(ticks "$pid")
  [[ -n "$extra" ]] && extra_before=$(ticks $($extra))
  : >"$work/probe"
  local probe=
  if [[ "$url" == https:* ]]; then
    python3 bench/service/latency_probe.py --url "$url" --ca "$work/pki/ca.pem" \
      --seconds "$seconds" --interval 0.1 >"$work/probe" &
    probe=$!
  fi
  /usr/bin/time -f "wrk cpu %U user + %S sys s" wrk -t2 -c50 -d"${seconds}s" --timeout 10s \
    -s bench/service/submit.lua "$url/api/submit" 2>&1 | grep -v '^ \|^Running\|^Transfer'
  [[ -n "$probe" ]] && wait "$probe"
  cat "$work/probe"
  echo "server cpu $(echo "$(ticks "$pid") - $before" | bc) s"
  [[ -n "$extra" ]] && echo "postgres cpu $(echo "$(ticks $($extra)) - $extra_before" | bc) s"
  stamp
}

echo "machine: $(nproc) cores; wrk -t2 -c50 -d${seconds}s, Connection: close; $records seeded"

if ((records == 0)); then
"$build/bench/service/server_choice/choice_mhd_server" --cert "$work/pki/localhost.pem" \
  --key "$work/pki/localhost.key" --threads 4 --max-seconds $((seconds + 30)) >"$work/trivial" 2>/dev/null &
trivial=$!
sleep 0.5
load_run "trivial handler, libmicrohttpd + TLS (ceiling)" "$(cut -d' ' -f3 "$work/trivial")" "$trivial"
kill "$trivial"
wait "$trivial" || true
fi

start_service "$work/scores.sqlite3"
if ((records > 0)); then
  stop_service
  seed_sqlite "$work/scores.sqlite3" "$records" >/dev/null
  start_service "$work/scores.sqlite3"
fi
load_run "score-service, SQLite" "$svc_url" "$svc_pid"
echo "rows: $(sqlite3 "$work/scores.sqlite3" 'SELECT COUNT(*) FROM scores')"
stop_service

start_postgres
start_service "$pg_url"
if ((records > 0)); then
  stop_service
  seed_postgres "$records" >/dev/null
  start_service "$pg_url"
fi
load_run "score-service, PostgreSQL" "$svc_url" "$svc_pid" pg_pids
echo "rows: $(psql_scores -At -c 'SELECT COUNT(*) FROM scores')"
stop_service

((records > 0)) && exit 0
# Without TLS (the reverse-proxy set-up): what the service itself costs.
svc_plain=1 start_service "$work/plain.sqlite3"
load_run "score-service, SQLite, plain HTTP (no TLS)" "$svc_url" "$svc_pid"
stop_service
echo "load after: $(load)"
