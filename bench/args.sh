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
  local _bench_params=() _bench_param
  while [[ $1 != -- ]]; do
    _bench_params+=("$1")
    shift
  done
  shift
  (($# <= ${#_bench_params[@]})) || bench_usage
  for _bench_param in "${_bench_params[@]}"; do
    if [[ -n ${1:-} ]]; then
      printf -v "${_bench_param%%=*}" '%s' "$1"
    elif [[ $_bench_param == *=* ]]; then
      printf -v "${_bench_param%%=*}" '%s' "${_bench_param#*=}"
    else
      bench_usage
    fi
    (($# == 0)) || shift
  done
}
