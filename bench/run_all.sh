#!/usr/bin/env bash
# Runs every measurement in one go and prints the machine and its load next to
# the figures.
# Usage: bench/run_all.sh [build dir]   (default: build-bench)
set -euo pipefail
build=${1:-build-bench}
cd "$(dirname "$0")/.."

echo "== machine"
echo "nproc: $(nproc)"
grep -m1 'model name' /proc/cpuinfo
grep MemTotal /proc/meminfo
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== kernel disassembly (model::stressSum)"
objdump -d -C --no-show-raw-insn "$build/model/libmodel.a" |
  awk '/<model::stressSum\(long\)>:/,/^$/'

"$build/bench/client/measure_workload" 10
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== responsiveness"
"$build/bench/client/responsiveness" 3
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== submission"
"$build/bench/client/submission_latency" 20
echo "== start-up and memory"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -noreset" \
  "$build/bench/client/startup_probe" "$build/app/benchmark-companion" 10 2>/dev/null
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
