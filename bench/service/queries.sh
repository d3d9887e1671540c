#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# What each of the service's SQL statements costs on SQLite with N records
# (default 1,000,000), timed by the sqlite3 shell: where a page view or a
# submission spends its time.
# Usage: bench/service/queries.sh [build dir] [records]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args build=build records=1000000 -- "$@"
cd "$(dirname "$0")/../.."
source bench/service/lib.sh
source bench/service/seed.sh
start_service "$work/scores.sqlite3"
stop_service
seed_sqlite "$work/scores.sqlite3" "$records" >/dev/null
echo "$records records, $(stamp)"
chip="chip_type = '$popular_chip'"
sqlite3 "$work/scores.sqlite3" <<SQL | grep -v '^$'
.timer on
.print -- summaries: GROUP BY over every record (each page view before caching)
.once /dev/null
SELECT chip_type, MIN(xcode_build_sec), COUNT(*) FROM scores GROUP BY chip_type ORDER BY 3 DESC, 1 LIMIT 500;
.print -- median of the popular processor (OFFSET along the index)
.once /dev/null
SELECT AVG(t) FROM (SELECT xcode_build_sec AS t FROM scores WHERE $chip ORDER BY xcode_build_sec LIMIT 2 OFFSET 149000);
.print -- best 50 overall
.once /dev/null
SELECT id FROM scores ORDER BY xcode_build_sec, id LIMIT 50;
.print -- distribution range, MIN and MAX in one SELECT
.once /dev/null
SELECT MIN(xcode_build_sec), MAX(xcode_build_sec) FROM scores WHERE $chip;
.print -- the same range as two subqueries
.once /dev/null
SELECT (SELECT MIN(xcode_build_sec) FROM scores WHERE $chip), (SELECT MAX(xcode_build_sec) FROM scores WHERE $chip);
.print -- distribution bins of the popular processor
.once /dev/null
SELECT CAST((xcode_build_sec - 20) / 10 AS INTEGER), COUNT(*) FROM scores WHERE $chip GROUP BY 1;
.print -- placement, schema 1: count and rank in one pass over the chip
.once /dev/null
SELECT COUNT(*), COALESCE(SUM(CASE WHEN xcode_build_sec < 50 THEN 1 ELSE 0 END), 0) FROM scores WHERE $chip;
.print -- placement, schema 2: rank of a time faster than all (what the load submits)
.once /dev/null
SELECT COUNT(*) FROM scores WHERE $chip AND xcode_build_sec < 10.5;
.print -- placement, schema 2: rank of the median time
.once /dev/null
SELECT COUNT(*) FROM scores WHERE $chip AND xcode_build_sec < 120;
.print -- placement, schema 2: rank of a time slower than all (the worst case)
.once /dev/null
SELECT COUNT(*) FROM scores WHERE $chip AND xcode_build_sec < 221;
.print -- placement, schema 2: the processor's count
.once /dev/null
SELECT records FROM chip_counts WHERE chip_type = '$popular_chip';
SQL
echo "$(stamp)"
