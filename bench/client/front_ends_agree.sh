#!/usr/bin/env bash
# Front ends agree: the same 24-child run timed, interleaved round by round, by the real window
# (clicked under Xvfb; its time read from the record it sends to a loopback peer), the terminal
# program (--no-submit --json), the plain reference loop, the terminal program with
# DirtyVectorState preloaded, and OLD_CLI (built without the vector-state mend) preloaded when
# given; then each one's ratio to the reference. It builds them for the peer in build-agree/.
# Usage: bench/client/front_ends_agree.sh [ROUNDS] [OLD_CLI]
set -euo pipefail
rounds=${1:-5} old_cli=${2:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-agree

if [[ -z ${AGREE_UNDER_X:-} ]]; then
  mkdir -p "$build"
  [[ -f $build/pki/ca.pem ]] || "$root/scripts/lib/make-pki.sh" "$build/pki" >/dev/null
  port=$(cat "$build/port" 2>/dev/null || true)
  if [[ -z $port ]] || ! python3 -c "import socket,sys; socket.create_server(('127.0.0.1', $port))" 2>/dev/null; then
    port=$(python3 -c 'import socket; print(socket.create_server(("127.0.0.1", 0)).getsockname()[1])')
  fi
  echo "$port" >"$build/port"
  cmake -S "$root" --preset default -B "$build" -DBUILD_TESTING=OFF -DSCORE_SERVICE_URL="https://localhost:$port" \
    -DSCORE_SERVICE_CA_FILE="$build/pki/ca.pem" >/dev/null
  cmake --build "$build" -j2 --target benchmark-companion benchmark-companion-cli reference_run dirty_vector_state >/dev/null
  AGREE_UNDER_X=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -nolisten tcp" "$0" "$@"
fi

work=$(mktemp -d)
record=$work/record.jsonl
touch "$record"
"$root/bench/client/record_peer.py" "$(cat "$build/port")" "$build/pki/localhost.pem" "$build/pki/localhost.key" \
  "$record" 3600 &
peer=$!
QT_QPA_PLATFORM=xcb "$build/app/benchmark-companion" 2>/dev/null &
app=$!
cleanup() { kill "$app" "$peer" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
win=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
[[ -n $win ]] || { echo "no window within 20 s" >&2; exit 1; }

window() { # one click on the button; the elapsed time is the record's score / 3.5
  local before
  before=$(wc -l <"$record")
  sleep 1 # idle and painted again after the last run
  xdotool mousemove --window "$win" 225 448 click 1
  # Polled once a second: the time is read from the record, not from when it is seen, and a
  # faster poll would take CPU from the run it waits for.
  for _ in $(seq 120); do (($(wc -l <"$record") > before)) && break; sleep 1; done
  (($(wc -l <"$record") > before)) || { echo "no record within 120 s of the click" >&2; exit 1; }
  tail -n 1 "$record" | python3 -c 'import json, sys; print(json.load(sys.stdin)["xcode_build_sec"] / 3.5)'
}
cli() { # [PROGRAM]
  # Read after the run: Python's start-up here takes about 0.45 s of CPU, and in a pipe it
  # would take it from the run itself.
  "${1:-$build/cli/benchmark-companion-cli}" --no-submit --json >"$work/cli.json"
  python3 -c 'import json, sys; print(json.load(sys.stdin)["elapsed_sec"])' <"$work/cli.json"
}
reference() { "$build/bench/client/reference_run"; }
planted() { LD_PRELOAD=$build/bench/client/libdirty_vector_state.so cli; }
planted_old() { LD_PRELOAD=$build/bench/client/libdirty_vector_state.so cli "$old_cli"; }

series=(reference window cli planted)
[[ -n $old_cli ]] && series+=(planted_old)
grep -m1 'model name' /proc/cpuinfo
echo "cores: $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 0; r < rounds; r++)); do
  for ((i = 0; i < ${#series[@]}; i++)); do # a different order each round
    name=${series[(i + r) % ${#series[@]}]}
    echo "$r $name $($name)" | tee -a "$work/times"
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$work/times" <<'END'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    r, name, seconds = line.split()
    times.setdefault(name, {})[int(r)] = float(seconds)
ref = times["reference"]
print(f"{'series':12} {'median s':>9} {'min s':>7} {'ratio of medians':>17} {'median of round ratios':>23}")
for name, by_round in times.items():
    ratios = [by_round[r] / ref[r] for r in by_round]
    values = list(by_round.values())
    print(f"{name:12} {statistics.median(values):9.3f} {min(values):7.3f} "
          f"{statistics.median(values) / statistics.median(ref.values()):17.3f} {statistics.median(ratios):23.3f}")
END
