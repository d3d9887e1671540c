#!/usr/bin/env bash
# Each compiled copy of the workload loop (stressSum, each task body) keeps a scalar square root
# and addition per step, no packed ones; the run without hooks skips the hooked one. A body's
# cold clone is only its unlikely exits, split off by the compiler, and holds no loop.
# x86-64: each task body clears the upper vector state (vzeroupper).
# arm64: some loop holds exactly one `fsqrt d` and then one `fadd d` of its result, so the sum
# is neither split into partial sums nor reordered.
# kernel-check.sh OBJDUMP MODEL_LIBRARY
set -euo pipefail
case $("$1" -f "$2" | sed -n 's/.*file format //p' | head -n 1) in
  elf64-x86-64) arch=x86 ;;
  elf64-littleaarch64) arch=arm64 ;;
  *) exit 77 ;;
esac
"$1" -d -r -C --no-show-raw-insn "$2" | awk -v arch="$arch" '
  function hex(s,  v, i) { v = 0; for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
  # arm64: a backward branch closes a loop from its target; 1 when that loop is one step as wanted.
  function oneStep(from, to,  i, roots, sums, root, ok) {
    for (i = 1; i <= to; i++) {
      if (at[i] < from) continue
      if (op[i] == "fsqrt" && args[i] ~ /^d/) { roots++; root = substr(args[i], 1, index(args[i], ",") - 1) }
      if (op[i] == "fadd" && args[i] ~ /^d/) { sums++; ok = roots == 1 && index(args[i] ",", " " root ",") > 0 }
    }
    return roots == 1 && sums == 1 && ok
  }
  function check() {
    if (on && arch == "x86" && (!call && !(root && sum) || packed)) { print "no scalar sqrtsd and addsd, or packed sqrtpd, in " head; bad = 1 }
    if (on && arch == "x86" && task && !clean) { print "no vzeroupper in " head; bad = 1 }
    if (on && arch == "arm64" && !call && !loop) { print "no loop of one scalar fsqrt, then one fadd of it, in " head; bad = 1 }
    if (on && arch == "arm64" && packed) { print "vector floating-point arithmetic in " head; bad = 1 }
    on = window = n = 0
  }
  /^[0-9a-f]+ </ { check(); head = $0; task = /function_task<model::.*timeChildren.*::execute/ && !/\[clone \.cold\]/; seen += on = task || /<model::stressSum\(long\)>:/
    window = /<model::runStressWorkload\(model::WorkloadSize const&\)>:/; clean = root = sum = packed = call = loop = 0; next }
  /^$/ { check() }
  # Whether the symbol on this line is the target: a relocation names it, but arm64 shows an
  # address left to the linker as 0 and the nearest symbol.
  function named(  i) { if (/R_(X86_64|AARCH64)_/) return 1; for (i = 3; i < NF; i++) if ($(i + 1) ~ /^</) return $i != "0"; return 0 }
  window && /RunHooks/ && named() { print "the run without hooks goes through the hooked one"; bad = 1 }
  # A call enters stressSum at its start; a branch inside it names stressSum plus an offset.
  on && named() { call += /model::stressSum\(long\)([>-]|$)/ }
  on && arch == "x86" { clean += /vzeroupper/; root += /sqrtsd/; sum += /addsd/; packed += /sqrtpd/ }
  on && arch == "arm64" && $1 ~ /^[0-9a-f]+:$/ {
    at[++n] = hex(substr($1, 1, length($1) - 1)); op[n] = $2; args[n] = ""
    for (i = 3; i <= NF && $i !~ /^</; i++) args[n] = args[n] (i > 3 ? " " : "") $i
    packed += $2 ~ /^f/ && args[n] ~ /v[0-9]+\./
    for (i = 3; i < NF; i++) if ($2 ~ /^(b|cbn?z|tbn?z)($|\.)/ && $(i + 1) ~ /^</ && hex($i) < at[n]) loop += oneStep(hex($i), n)
  }
  END { check(); if (seen < 3) { print "stressSum and two task bodies expected, " seen " found"; bad = 1 } exit bad }'
