#!/usr/bin/env bash
# Submission throughput of two score-service binaries side by side in one run, each row two
# rounds of old, new and a reference, so each ratio compares neighbours (BENCHMARKS.md,
# "Service: how to reproduce", has the rows): a new TLS connection per submission on SQLite
# beside nginx's static 200; plain keep-alive on SQLite beside Python's one-row durable
# commits; plain keep-alive on PostgreSQL beside two new instances on one database; with
# RECORDS > 0 the first two again for the new binary on that many seeded records. Every run
# gets a fresh database; latency_probe.py times whole submissions beside every TLS load.
# SVC_FLAGS (e.g. "--threads 32") go to every service started. Loopback only, bounded in time.
# Usage: bench/service/throughput.sh OLD_BINARY NEW_BINARY [seconds] [records]
set -euo pipefail
usage="usage: bench/service/throughput.sh OLD_BINARY NEW_BINARY [seconds] [records]"
old=$(realpath "${1:?$usage}") new=$(realpath "${2:?$usage}")
seconds=${3:-10} records=${4:-0}
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/pg.sh
source bench/service/seed.sh
source bench/service/nginx.sh
read -r -a svc_flags <<<"${SVC_FLAGS:-}"
summary=()

# submit_load OUTPUT URL [wrk flags]. Over TLS the whole-submission probe runs
# beside wrk (whose latency leaves the handshake out), into OUTPUT.probe.
submit_load() {
  local out=$1 url=$2 probe=""
  shift 2
  if [[ $url == https:* ]]; then
    python3 bench/service/latency_probe.py "$url" "$work/pki/ca.pem" "$seconds" >"$out.probe" 2>&1 &
    probe=$!
  fi
  wrk -t2 -c50 -d"${seconds}s" --timeout 10s "$@" -s bench/service/submit.lua "$url/api/submit" \
    >"$out" 2>&1 || true
  [[ -z $probe ]] || wait "$probe" || true
  grep -q '^status ' "$out" || sed 's/^/    wrk: /' "$out" >&2
}

# figures OUTPUT...: accepted, accepted/s, non-200 (other statuses and socket
# errors), p50, p99, max in ms; summed over several wrk runs, the latencies
# their worst ("-" where no latency was taken).
figures() {
  awk '/^status 200:/ { n += $3; gsub(/[(\/s)]/, "", $4); ok += $4 }
       /^status [0-9]+:/ && $2 != "200:" { bad += $3 }
       /^socket errors:/ { bad += $3 }
       /^request latency/ { timed = 1; for (i = 1; i <= 3; i++) { v = $(3 * i + 1) + 0; if (v > l[i]) l[i] = v } }
       END { if (!timed) { printf "%d %.0f %d - - -\n", n, ok, bad; exit }
             printf "%d %.0f %d %.1f %.1f %.1f\n", n, ok, bad, l[1], l[2], l[3] }' "$@"
}

# record LABEL STORED OUTPUT...: a line now, a row of the summary at the end.
# STORED (the new rows after the run, the probe's among them) below the 200
# count would be a lost record.
record() {
  local label=$1 stored=$2 count rate bad p50 p99 max now
  shift 2
  read -r count rate bad p50 p99 max < <(figures "$@")
  now=$(load)
  printf '%-58s %6s/s  non-200 %s  p50 %s p99 %s max %s ms  200s %s stored %s  load %s\n' \
    "$label" "$rate" "$bad" "$p50" "$p99" "$max" "$count" "$stored" "$now"
  grep -h '^status \|^socket errors: [1-9]' "$@" | grep -v '^status 200:' | sed 's/^/    /' || true
  for out; do
    [[ ! -s $out.probe ]] || sed 's/^/    /' "$out.probe"
    rm -f "$out.probe"
  done
  summary+=("| $label | $rate | $bad | $p99 | $now |")
}

sqlite_run() { # LABEL BINARY KEEPALIVE(0/1) [TEMPLATE (holds $records)]
  local db=$work/run.sqlite3 seeded=0
  rm -f "$db"*
  if [[ -n ${4:-} ]]; then cp "$4" "$db" && seeded=$records; fi
  svc_plain=$3 svc_binary=$2 start_service "$db" "${svc_flags[@]}"
  SUBMIT_KEEPALIVE=$3 submit_load "$work/out" "$svc_url"
  stop_service
  record "$1" "$(($(sqlite3 "$db" 'SELECT COUNT(*) FROM scores') - seeded))" "$work/out"
}

pair_pid=""
stop_pair() { # the first of two instances, while one runs
  svc_pid=$pair_pid stop_service
  pair_pid=""
}
cleanup_hooks=(stop_pair "${cleanup_hooks[@]}")
pg_run() { # LABEL BINARY [2: two instances on one database, half of wrk's threads and connections each]
  local outputs=("$work/out")
  empty_postgres
  svc_plain=1 svc_binary=$2 start_service "$pg_url" "${svc_flags[@]}"
  if [[ ${3:-1} == 2 ]]; then
    pair_pid=$svc_pid pair_url=$svc_url outputs+=("$work/out2")
    svc_name=second svc_plain=1 svc_binary=$2 start_service "$pg_url" "${svc_flags[@]}"
    SUBMIT_KEEPALIVE=1 submit_load "$work/out2" "$pair_url" -t1 -c25 &
    SUBMIT_KEEPALIVE=1 submit_load "$work/out" "$svc_url" -t1 -c25
    wait $!
    stop_pair
  else
    SUBMIT_KEEPALIVE=1 submit_load "$work/out" "$svc_url"
  fi
  stop_service
  record "$1" "$(psql_scores -At -c 'SELECT COUNT(*) FROM scores')" "${outputs[@]}"
}

commit_run() { # LABEL: one-row durable commits in one Python process
  local rate
  rate=$(python3 bench/service/sqlite_commit.py "$work" "$seconds" 1 FULL |
    sed -n 's/.*FULL \([0-9]*\) commits.*/\1/p')
  rm -f "$work/full.db"*
  printf 'status 200: %s (%s/s)\n' "$(echo "$rate * $seconds" | bc)" "$rate" >"$work/out"
  record "$1" - "$work/out"
}

echo "machine: $(nproc) cores; wrk -t2 -c50 -d${seconds}s; service flags: --rate-limit 0 ${svc_flags[*]}"
echo "old: $old"
echo "new: $new"
static_port=$(free_port)
start_nginx "$static_port"
start_postgres
for round in 1 2; do
  stamp
  sqlite_run "1. TLS close, SQLite, old, round $round" "$old" 0
  sqlite_run "1. TLS close, SQLite, new, round $round" "$new" 0
  submit_load "$work/out" "https://127.0.0.1:$static_port"
  record "1. TLS close, nginx static 200, round $round" - "$work/out"
done
for round in 1 2; do
  stamp
  sqlite_run "2. plain keep-alive, SQLite, old, round $round" "$old" 1
  sqlite_run "2. plain keep-alive, SQLite, new, round $round" "$new" 1
  commit_run "2. Python sqlite3 FULL commits, round $round"
done
for round in 1 2; do
  stamp
  pg_run "3. plain keep-alive, PostgreSQL, old, round $round" "$old"
  pg_run "3. plain keep-alive, PostgreSQL, new, round $round" "$new"
  pg_run "3. plain keep-alive, PostgreSQL, 2 x new, round $round" "$new" 2
done
if ((records > 0)); then
  echo "seeding $records records: $(stamp)"
  template=$work/seeded.sqlite3
  svc_binary=$new seeded_database "$template" "$records"
  svc_binary=$new start_service "$template" # backfills the counts once, not in every run
  stop_service
  sqlite3 "$template" 'PRAGMA wal_checkpoint(TRUNCATE)' >/dev/null
  for round in 1 2; do
    stamp
    sqlite_run "4. TLS close, SQLite, $records stored, new, round $round" "$new" 0 "$template"
    sqlite_run "4. plain keep-alive, SQLite, $records stored, new, round $round" "$new" 1 "$template"
  done
fi
echo
echo "| Row | Accepted/s | Non-200 | p99 ms | Load |"
echo "|---|---|---|---|---|"
printf '%s\n' "${summary[@]}"
