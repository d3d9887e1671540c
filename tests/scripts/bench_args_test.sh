#!/usr/bin/env bash
# How the bench scripts read their arguments (bench_args): a table of
# argument lists and what a script sees. Usage: bench_args_test.sh
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
fail() { echo "FAIL: $*" >&2; exit 1; }

# params | arguments | what the script sees, or "exit 2" (its usage line)
while IFS='|' read -r params args want; do
  got=$(bash -c 'source "$0"; eval "bench_args $1 -- $2"; echo "$a,${b:-},${c:-}"' \
    "$here/../../bench/args.sh" "$params" "$args" 2>/dev/null) || got="exit $?"
  [[ "$got" == "$want" ]] || fail "bench_args $params -- $args: '$got', not '$want'"
done <<'TABLE'
a b=2 c=3|x|x,2,3
a b=2 c=3|x '' y|x,2,y
a b=2|x 'y z'|x,y z,
a b|x|exit 2
a|x y|exit 2
a=1||1,,
TABLE

echo "bench_args: ok"
