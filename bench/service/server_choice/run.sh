#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# The library choice: each candidate server in turn against 1,000 slow clients
# and one normal client (bench/service/slow_clients.py). Loopback only, bounded.
# Usage: bench/service/server_choice/run.sh [build dir] [slow clients] [slow seconds]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../../args.sh"
bench_args build=build slow=1000 seconds=30 -- "$@"
cd "$(dirname "$0")/../../.."
ulimit -n "$(ulimit -Hn)"
pki=$(mktemp -d)
trap 'rm -rf "$pki"' EXIT
tests/support/make-pki.sh "$pki" >/dev/null

run() { # label binary args...
  local label=$1 bin=$2
  shift 2
  echo "== $label ($(date -u +%H:%M:%S) load $(cut -d' ' -f1-3 /proc/loadavg))"
  "$build/bench/service/server_choice/$bin" --cert "$pki/localhost.pem" --key "$pki/localhost.key" \
    --max-seconds $((seconds + 60)) "$@" >"$pki/out" &
  local pid=$!
  for _ in $(seq 50); do [[ -s "$pki/out" ]] && break; sleep 0.1; done
  local url
  url=$(head -1 "$pki/out" | cut -d' ' -f3)
  python3 bench/service/slow_clients.py --url "$url" --ca "$pki/ca.pem" --pid "$pid" \
    --slow "$slow" --slow-seconds "$seconds" || true
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

echo "machine: $(nproc) cores, $(grep MemTotal /proc/meminfo | tr -s ' ')"
# Every client here shares 127.0.0.1, so a per-address limit would refuse the
# normal client along with the slow ones; it is off to measure the case it
# cannot help with: slow clients spread over many addresses.
run "libmicrohttpd, epoll, 2 threads" choice_mhd_server --threads 2 --per-ip 0 2>/dev/null
run "cpp-httplib, 8 workers (its default)" choice_httplib_server --threads 8
run "cpp-httplib, 64 workers" choice_httplib_server --threads 64
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
