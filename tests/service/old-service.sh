#!/usr/bin/env bash
# Builds score-service as it was at COMMIT, before the database counted its own
# records, into OUT/score-service, once: later runs reuse it.
# Usage: old-service.sh SOURCE_CLONE OUT COMMIT
set -euo pipefail
src=$1 out=$2 commit=$3
[[ -x "$out/score-service" ]] && exit 0
rm -rf "$out/src" "$out/build"
mkdir -p "$out/src"
git -C "$src" archive "$commit" | tar -x -C "$out/src"
cmake -S "$out/src" -B "$out/build" -G Ninja -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
CCACHE_BASEDIR="$out" cmake --build "$out/build" --target score-service >/dev/null
cp "$out/build/service/score-service" "$out/score-service.new"
mv "$out/score-service.new" "$out/score-service"
rm -rf "$out/src" "$out/build"
