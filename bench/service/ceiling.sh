#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# The ceiling, side by side in one run: nginx answering a static 200, the
# trivial libmicrohttpd server, score-service with TLS (SQLite), and
# score-service over plain HTTP behind nginx. Every request is a new TLS
# connection (`Connection: close`) with the same P-256 certificate; the
# servers take turns, ROUNDS times, so each ratio compares neighbours.
# Usage: bench/service/ceiling.sh [build dir] [seconds] [rounds]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build seconds=10 rounds=2 -- "$@"
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/nginx.sh

ticks() { # utime+stime of PIDS, in clock ticks
  local sum=0
  for pid in "$@"; do
    read -r -a f <"/proc/$pid/stat" || continue
    sum=$((sum + f[13] + f[14]))
  done
  echo "$sum"
}

measure() { # LABEL URL SERVER_PIDS...: rate, refusals, server CPU per request
  local label=$1 url=$2 out before requests
  shift 2
  before=$(ticks "$@")
  out=$(wrk -t2 -c50 -d"${seconds}s" --timeout 10s -H 'Connection: close' "$url")
  requests=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' <<<"$out")
  printf '%-44s %8s req/s  non-2xx %s  server CPU %s ms/request  load %s\n' "$label" \
    "$(sed -n 's/^Requests\/sec: *//p' <<<"$out")" \
    "$(sed -n 's/^ *Non-2xx or 3xx responses: *//p' <<<"$out" | grep . || echo 0)" \
    "$(echo "scale=2; ($(ticks "$@") - $before) * 1000 / $(getconf CLK_TCK) / $requests" | bc)" \
    "$(load)"
}

echo "machine: $(nproc) cores; wrk -t2 -c50 -d${seconds}s, Connection: close, $rounds rounds"
static_port=$(free_port)
start_nginx "$static_port" ""
static_pid=$nginx_pid
"$build/bench/service/server_choice/choice_mhd_server" --cert "$work/pki/localhost.pem" \
  --key "$work/pki/localhost.key" --threads 2 --max-seconds $((rounds * seconds * 5 + 60)) \
  >"$work/trivial" 2>/dev/null &
trivial_pid=$!
cleanup_hooks+=("kill $trivial_pid")
start_service "$work/tls.sqlite3"
tls_url=$svc_url
tls_pid=$svc_pid
cleanup_hooks+=("kill $svc_pid")
svc_plain=1 start_service "$work/plain.sqlite3"
proxy_port=$(free_port)
start_nginx "$proxy_port" "$svc_url"
proxy_pid=$nginx_pid
sleep 0.5
for round in $(seq "$rounds"); do
  echo "-- round $round, $(date -u +%H:%M:%S)"
  measure "nginx, static 200" "https://127.0.0.1:$static_port/" $(workers "$static_pid")
  measure "libmicrohttpd + GnuTLS, trivial handler" "$(cut -d' ' -f3 "$work/trivial")/api/submit" \
    "$trivial_pid"
  measure "score-service with TLS, SQLite" "$tls_url/healthz" "$tls_pid"
  measure "score-service, plain HTTP behind nginx" "https://127.0.0.1:$proxy_port/healthz" \
    "$svc_pid" $(workers "$proxy_pid")
done
