#!/usr/bin/env bash
# The compiled workload keeps one scalar square root and one addition per step, and no packed
# square roots: the optimiser folded nothing away. x86-64 instruction names; exit 77 skips.
#   kernel-check.sh OBJDUMP MODEL_LIBRARY
set -euo pipefail
[[ $(uname -m) == x86_64 ]] || exit 77
kernel=$("$1" -d -C --no-show-raw-insn "$2" |
  awk '/<model::stressSum\(long\)>:/ { on = 1 } /^$/ { on = 0 } on')
grep -q sqrtsd <<<"$kernel" && grep -q addsd <<<"$kernel" && ! grep -q sqrtpd <<<"$kernel" || {
  echo "stressSum lost its scalar sqrtsd/addsd or gained sqrtpd:${kernel:- not found in $2}"
  exit 1
}
