# shellcheck shell=bash
# Sourced by the bench scripts, before they change folder: their positional
# arguments. bench_args NAME[=DEFAULT]... -- "$@" sets each NAME from the
# argument in its place; an empty or missing one takes the DEFAULT, and a NAME
# without one is required. A missing required argument or one too many prints
# the script's "# Usage:" line (up to a gap of three spaces) and exits 2.
bench_script=$0

bench_usage() {
  echo "usage: $(sed -n 's/^# *Usage: *//p' "$bench_script" | head -1 | sed 's/   .*//')" >&2
  exit 2
}

bench_args() {
  local _bench_specs=() _bench_spec
  while [[ $1 != -- ]]; do
    _bench_specs+=("$1")
    shift
  done
  shift
  (($# <= ${#_bench_specs[@]})) || bench_usage
  for _bench_spec in "${_bench_specs[@]}"; do
    if [[ -n ${1:-} ]]; then
      printf -v "${_bench_spec%%=*}" '%s' "$1"
    elif [[ $_bench_spec == *=* ]]; then
      printf -v "${_bench_spec%%=*}" '%s' "${_bench_spec#*=}"
    else
      bench_usage
    fi
    (($# == 0)) || shift
  done
}
