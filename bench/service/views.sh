#!/usr/bin/env bash
# The read side against nginx, side by side in one run, over TLS on loopback:
#  1. views of "/" and of one result's page "/r/ID" over N seeded records (default
#     100,000), keep-alive, Accept-Encoding: gzip, wrk -t2 -c20; the reference is
#     nginx serving the same bytes from a file with gzip on. Two rounds, in turns.
#  2. a repeated view with the page's validator: the status it gets.
#  3. a mixed load: views of "/" (wrk -c18) beside submissions on keep-alive
#     connections (wrk -c2), about 90 % to 10 %; the submissions' p50/p99.
#  4. CPU per new TLS connection (Connection: close), each server alone: the service
#     answering /favicon.ico (no database), nginx a static 200.
# Usage: bench/service/views.sh [build dir] [records] [seconds]
set -euo pipefail
build=${1:-build} records=${2:-100000} seconds=${3:-10}
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/seed.sh
source bench/service/nginx.sh

# wrk's requests/s and p99 for one URL: "RATE P99"
rate() { # URL
  wrk -t2 -c20 -d"${seconds}s" --timeout 10s --latency -H 'Accept-Encoding: gzip' "$1" |
    awk '/Requests\/sec/ { r = $2 } /^ +99%/ { p = $2 } /Non-2xx/ { print "    non-2xx: " $NF > "/dev/stderr" }
         END { print r, p }'
}

# CPU seconds (user + system) of the processes so far.
cpu() { # PID...
  local stats=("${@/#//proc/}")
  awk -v hz="$(getconf CLK_TCK)" '{ t += ($14 + $15) / hz } END { print t }' "${stats[@]/%//stat}"
}

# Connection: close requests for $seconds; prints "REQUESTS CPU_MS_PER_REQUEST".
per_connection() { # URL PID...
  local url=$1 before after requests
  shift
  before=$(cpu "$@")
  requests=$(wrk -t2 -c20 -d"${seconds}s" --timeout 10s -H 'Connection: close' "$url" |
    awk '/requests in/ { print $1 }')
  after=$(cpu "$@")
  echo "$requests $(awk -v a="$after" -v b="$before" -v n="$requests" 'BEGIN { printf "%.3f", (a - b) * 1000 / n }')"
}

echo "machine: $(nproc) cores; $records records; $(stamp)"
seeded_database "$work/scores.sqlite3" "$records"
start_service "$work/scores.sqlite3"
id=$(sqlite3 "$work/scores.sqlite3" "SELECT id FROM scores ORDER BY id LIMIT 1 OFFSET $((records / 2))")

# The same bytes nginx will serve, uncompressed: nginx compresses them itself.
mkdir -p "$work/www/r"
curl -sk "$svc_url/" -o "$work/www/index.html"
curl -sk "$svc_url/r/$id" -o "$work/www/r/$id.html"
echo "== / is $(wc -c <"$work/www/index.html") bytes, /r/$id $(wc -c <"$work/www/r/$id.html") bytes;" \
  "gzip on the wire: $(curl -sk -H 'Accept-Encoding: gzip' "$svc_url/" | wc -c) bytes"
file_port=$(free_port)
start_nginx "$file_port" "$work/www"
nginx_url="https://127.0.0.1:$file_port"

echo "== 1. views, keep-alive, gzip: service / nginx from a file"
for round in 1 2; do
  for path in "/" "/r/$id"; do
    file=$([[ $path == / ]] && echo /index.html || echo "$path.html")
    read -r svc svc_p99 < <(rate "$svc_url$path")
    read -r ngx ngx_p99 < <(rate "$nginx_url$file")
    printf '   round %s %-12s service %8s/s (p99 %s)  nginx %8s/s (p99 %s)  ratio %s  load %s\n' \
      "$round" "$path" "$svc" "$svc_p99" "$ngx" "$ngx_p99" \
      "$(awk -v a="$svc" -v b="$ngx" 'BEGIN { printf "%.2f", a / b }')" "$(load)"
  done
done

echo "== 2. a repeated view with its validator"
for path in "/" "/r/$id" "/api/scores"; do
  tag=$(curl -sk -D - -o /dev/null "$svc_url$path" | sed -n 's/^[Ee][Tt][Aa][Gg]: *\(.*\)\r$/\1/p')
  echo "   $path: ETag $tag -> $(curl -sk -o /dev/null -w '%{http_code}' -H "If-None-Match: $tag" "$svc_url$path")"
done

echo "== 3. mixed load: views of / beside submissions, $(stamp)"
wrk -t1 -c18 -d"${seconds}s" --timeout 10s -H 'Accept-Encoding: gzip' "$svc_url/" >"$work/views.out" &
views=$!
SUBMIT_KEEPALIVE=1 wrk -t1 -c2 -d"${seconds}s" --timeout 10s -s bench/service/submit.lua \
  "$svc_url/api/submit" >"$work/submit.out"
wait "$views"
echo "   views: $(awk '/requests in/ { print $1 }' "$work/views.out") answered"
sed 's/^/   submissions: /' "$work/submit.out" | grep -E 'status|latency|socket'

echo "== 4. CPU per new TLS connection, each alone, $(stamp)"
static_port=$(free_port)
start_nginx "$static_port"
read -r n ms < <(per_connection "$svc_url/favicon.ico" "$svc_pid")
echo "   service /favicon.ico: $n requests, $ms ms CPU each, load $(load)"
# shellcheck disable=SC2046 # the master and its workers, as separate pids
read -r n ms < <(per_connection "https://127.0.0.1:$static_port/" $(workers "$nginx_pid"))
echo "   nginx static 200: $n requests, $ms ms CPU each, load $(load)"
stop_service
echo "load after: $(load)"
