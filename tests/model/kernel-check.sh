#!/usr/bin/env bash
# Each compiled copy of the workload loop (stressSum, each task body) keeps a scalar square root
# and addition per step, no packed ones; each task body clears the upper vector state
# (vzeroupper); the run without hooks skips the hooked one. A body's cold clone is only its
# unlikely exits, split off by the compiler, and holds no loop. kernel-check.sh OBJDUMP MODEL_LIBRARY
set -euo pipefail
[[ $(uname -m) == x86_64 ]] || exit 77
"$1" -d -r -C --no-show-raw-insn "$2" | awk '
  function check() {
    if (on && (!call && !(root && sum) || packed)) { print "no scalar sqrtsd and addsd, or packed sqrtpd, in " head; bad = 1 }
    if (on && task && !clean) { print "no vzeroupper in " head; bad = 1 }
    on = window = 0
  }
  /^[0-9a-f]+ </ { check(); head = $0; task = /function_task<model::.*timeChildren.*::execute/ && !/\[clone \.cold\]/; seen += on = task || /<model::stressSum\(long\)>:/
    window = /<model::runStressWorkload\(model::WorkloadSize const&\)>:/; clean = root = sum = packed = call = 0; next }
  /^$/ { check() }
  window && /RunHooks/ { print "the run without hooks goes through the hooked one"; bad = 1 }
  on { clean += /vzeroupper/; root += /sqrtsd/; sum += /addsd/; packed += /sqrtpd/; call += /model::stressSum\(long\)/ }
  END { check(); if (seen < 3) { print "stressSum and two task bodies expected, " seen " found"; bad = 1 } exit bad }'
