#!/usr/bin/env bash
# Every compiled copy of the workload loop (stressSum, and the task body it is inlined into)
# keeps a scalar square root and addition per step and no packed square roots: the optimiser
# folded nothing away. x86-64 instruction names; exit 77 skips elsewhere.
#   kernel-check.sh OBJDUMP MODEL_LIBRARY
set -euo pipefail
[[ $(uname -m) == x86_64 ]] || exit 77
code=$("$1" -d -C --no-show-raw-insn "$2")
for name in '<model::stressSum[(]long[)]>:' 'function_task<model::runStressWorkload.*::execute'; do
  body=$(awk -v name="$name" '$0 ~ name && /^[0-9a-f]+ </ { on = 1 } /^$/ { on = 0 } on' <<<"$code")
  if ! grep -q 'call.*<model::stressSum(long)' <<<"$body"; then
    grep -q sqrtsd <<<"$body" && grep -q addsd <<<"$body" && ! grep -q sqrtpd <<<"$body" || {
      echo "no scalar sqrtsd and addsd, or packed sqrtpd, in ${name}:${body:- not found}"
      exit 1
    }
  fi
done
