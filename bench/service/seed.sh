# shellcheck shell=bash
# Sourced (after pg.sh for PostgreSQL): fills the service's own table with N synthetic records
# straight in SQL, 30 % of them on one popular processor and the rest over 199 others; times
# 20–220 s with the ratio the plausibility rule wants, on 8, 16, 32 or 64 GB. The schema goes
# back to version 2: its per-processor counts are rebuilt, and the triggered counts of version 3
# and the review's table and columns of version 4 are dropped before the insert, so that the
# next start of a newer service backfills and adds them. With SEED_TAIL=1 the rest goes to a
# long tail instead: 50 common processors take about half of all records, and some 9,950
# others share a seventh, most of them fewer than ten each.
popular_chip="AMD EPYC 7B13"
review_columns=(client_product client_version review_reason review_figures submission_key)
version2_sql="DROP TABLE IF EXISTS chip_totals; DROP TABLE IF EXISTS time_buckets;
DROP TABLE IF EXISTS withheld; DROP TABLE IF EXISTS chip_names; DROP TABLE IF EXISTS chip_memory;
DELETE FROM schema_version; INSERT INTO schema_version VALUES (2);
DROP INDEX scores_by_time; DROP INDEX scores_by_chip_time; DROP INDEX IF EXISTS scores_by_key;"
# The indexes are built again after the insert: sorting once is much faster
# than inserting ten million random keys into them.
indexes_sql="CREATE INDEX scores_by_time ON scores (xcode_build_sec);
CREATE INDEX scores_by_chip_time ON scores (chip_type, xcode_build_sec);"

columns="received_at, device_name, chip_type, ram_gb, xcode_build_sec, resin_slicer_sec, max_temp_c, swap_used_mb"
rows_sql() { # N: a SELECT of the records, in SQLite's SQL
  cat <<SQL
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $1),
 r(i, chip, t) AS (SELECT i,
   CASE WHEN abs(random()) % 10 < 3 THEN '$popular_chip'
        WHEN ${SEED_TAIL:-0} = 0 THEN 'Seed CPU ' || (abs(random()) % 199)
        WHEN abs(random()) % 10 < 8 THEN 'Common CPU ' || (abs(random()) % 50)
        ELSE 'Tail CPU ' || ((abs(random()) % 9950) * (abs(random()) % 1000) / 1000) END,
   20 + (abs(random()) % 200000) / 1000.0 FROM n)
SELECT '2026-12-01T00:00:00.000Z', 'seed ' || i, chip, 8 << (abs(random()) % 4), t, t * 1.5 / 3.5, 0, 0 FROM r
SQL
}
chip_counts_sql="CREATE TABLE IF NOT EXISTS chip_counts (chip_type TEXT PRIMARY KEY, records BIGINT NOT NULL);
DELETE FROM chip_counts;
INSERT INTO chip_counts (chip_type, records) SELECT chip_type, COUNT(*) FROM scores GROUP BY chip_type;"

seed_sqlite() { # FILE N  (the schema must exist)
  sqlite3 "$1" <<SQL
PRAGMA journal_mode=WAL;
PRAGMA synchronous=OFF;
PRAGMA cache_size=-262144;
BEGIN;
DROP TRIGGER IF EXISTS scores_counted_insert;
DROP TRIGGER IF EXISTS scores_counted_delete;
DROP TRIGGER IF EXISTS scores_counted_update;
$version2_sql
$(printf 'ALTER TABLE scores DROP COLUMN %s;\n' "${review_columns[@]}")
INSERT INTO scores ($columns) $(rows_sql "$2");
$indexes_sql
$chip_counts_sql
COMMIT;
ANALYZE;
SQL
}

# The same records, made by SQLite and copied in.
seed_postgres() { # N
  psql_scores <<SQL
DROP TRIGGER IF EXISTS scores_counted ON scores;
DROP FUNCTION IF EXISTS scores_counted();
DROP FUNCTION IF EXISTS count_score;
DROP FUNCTION IF EXISTS take_chip;
$version2_sql
$(printf 'ALTER TABLE scores DROP COLUMN IF EXISTS %s;\n' "${review_columns[@]}")
SQL
  sqlite3 -csv :memory: "$(rows_sql "$1")" | psql_scores -c "\\copy scores ($columns) FROM pstdin CSV"
  psql_scores <<SQL
$indexes_sql
$chip_counts_sql
VACUUM ANALYZE scores;
SQL
}

# DATABASE N: lib.sh's start_service (so svc_binary picks the build) makes the schema in a new
# SQLite file, or in pg.sh's database emptied first; then N records go in.
seeded_database() {
  [[ $1 != postgresql:* ]] || empty_postgres
  start_service "$1"
  stop_service
  if [[ $1 == postgresql:* ]]; then
    seed_postgres "$2" >/dev/null 2>&1
  else
    seed_sqlite "$1" "$2" >/dev/null
  fi
}
