#!/usr/bin/env bash
# 1,000 slow clients against score-service on SQLite, with the normal client
# and memory samples of bench/service/slow_clients.py. Default flags but the rate
# limit (off: the normal client shares 127.0.0.1 with the load).
# Usage: bench/service/slow.sh [build dir] [slow clients] [slow seconds]
set -euo pipefail
build=${1:-build} slow=${2:-1000} seconds=${3:-30}
cd "$(dirname "$0")/../.."
source bench/service/lib.sh

# The per-address cap is off too: every client here is 127.0.0.1, and the case
# to measure is slow clients spread over many addresses, which it cannot stop.
start_service "$work/scores.sqlite3" --max-connections-per-address 0
echo "== score-service, SQLite, default threads and limits, $(stamp)"
python3 bench/service/slow_clients.py --url "$svc_url" --ca "$work/pki/ca.pem" --pid "$svc_pid" \
  --slow "$slow" --slow-seconds "$seconds"
echo "rows: $(sqlite3 "$work/scores.sqlite3" 'SELECT COUNT(*) FROM scores'); $(stamp)"
stop_service
