#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# The leaderboard's first views after a start against the views that follow,
# with N records (default 1,000,000) all on one processor, on SQLite: the
# service start (migration check and warming included), then the first GET /
# and GET /?chip=…, then five more of each (median). Plain HTTP on loopback.
# Usage: bench/service/first_view.sh [build dir] [records]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build records=1000000 -- "$@"
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
svc_plain=1
chip="AMD EPYC 7B13"
db="$work/scores.sqlite3"

start_service "$db"
stop_service
echo "seeding $records records on one processor: $(stamp)"
SECONDS=0
sqlite3 "$db" <<SQL
PRAGMA synchronous=OFF;
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $records)
INSERT INTO scores (received_at, device_name, chip_type, ram_gb, xcode_build_sec,
                    resin_slicer_sec, max_temp_c, swap_used_mb)
SELECT '2026-12-01T00:00:00.000Z', 'seed ' || i, '$chip', 16, t, t * 1.5 / 3.5, 84, 0
FROM (SELECT i, 20 + (abs(random()) % 200000) / 1000.0 AS t FROM n);
COMMIT;
ANALYZE;
SQL
echo "seeded in $SECONDS s"
view() { curl -s -o /dev/null -w '%{time_total}\n' "$svc_url$1"; }
median() { sort -n | sed -n 3p; }
enc=$(python3 -c 'import sys,urllib.parse;print(urllib.parse.quote(sys.argv[1]))' "$chip")
for round in 1 2; do
  started=$(date +%s.%N)
  start_service "$db"
  echo "== round $round: start $(echo "$(date +%s.%N) - $started" | bc) s, $(stamp)"
  echo "first GET /: $(view /) s; first GET /?chip: $(view "/?chip=$enc") s"
  echo "then GET /: $(for _ in 1 2 3 4 5; do view /; done | median) s (median of 5);" \
    "GET /?chip: $(for _ in 1 2 3 4 5; do view "/?chip=$enc"; done | median) s"
  stop_service
done
echo "load after: $(load)"
