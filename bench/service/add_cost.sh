#!/usr/bin/env bash
# shellcheck disable=SC2154 # the arguments are set by bench_args
# A submission's cost in the store alone (no HTTP, no TLS) for two builds side
# by side: each gets its own SQLite copy of N seeded records, then adds 2,000
# records of the popular processor, alternating, three rounds.
# Usage: bench/service/add_cost.sh OLD_BUILD NEW_BUILD [records]
set -euo pipefail
# shellcheck source=bench/args.sh
source "$(dirname "$0")/../args.sh"
bench_args old new records=1000000 -- "$@"
old=$(cd "$old" && pwd)
new=$(cd "$new" && pwd)
here=$(dirname "${BASH_SOURCE[0]}")
build=$new
source "$here/lib.sh"
source "$here/seed.sh"
svc_pid=""
for b in "$old" "$new"; do
  db="$work/$(echo "$b" | md5sum | cut -c1-8).sqlite3"
  "$b/bench/service/add_cost" "$db" 1 >/dev/null # creates the schema
  seed_sqlite "$db" "$records" >/dev/null
done
for round in 1 2 3; do
  for b in "$old" "$new"; do
    db="$work/$(echo "$b" | md5sum | cut -c1-8).sqlite3"
    echo "round $round $b, load $(load): $("$b/bench/service/add_cost" "$db" 2000)"
  done
done
