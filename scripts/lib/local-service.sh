# shellcheck shell=bash
# Shared by scripts/dev run and scripts/screenshots: the programs built against a
# score service on this machine, with a certificate authority of its own.
# Source it after setting $root; it defines functions and the variables below.

run_build="${root:?set root before sourcing}/build/run"
local_service_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pki="$run_build/pki"
service_binary="$run_build/service/score-service"
service_pid=""
service_port=""
service_log=""
default_port=8443

die() {
  echo "error: $*" >&2
  exit 1
}

# A CA and a certificate for localhost signed by it, made once and reused while
# both are valid for another day.
ensure_local_pki() {
  if [[ -s "$pki/ca.pem" && -s "$pki/localhost.pem" && -s "$pki/localhost.key" ]] &&
    openssl x509 -in "$pki/localhost.pem" -noout -checkend 86400 >/dev/null &&
    openssl verify -CAfile "$pki/ca.pem" "$pki/localhost.pem" >/dev/null 2>&1; then
    return
  fi
  echo "Making a local certificate authority and a localhost certificate in $pki"
  "$local_service_lib/make-pki.sh" "$pki" 825 local >/dev/null ||
    die "openssl could not make the local certificates in $pki"
}

# The port the window was last built for, or the default.
built_port() {
  local url
  url=$(sed -n 's|^SCORE_SERVICE_URL:[A-Z]*=https://localhost:\([0-9]*\)$|\1|p' \
    "$run_build/CMakeCache.txt" 2>/dev/null || true)
  echo "${url:-$default_port}"
}

# Builds the programs only, for a service at https://localhost:PORT.
build_programs() {
  local port=$1
  cmake -S "$root" --preset programs -B "$run_build" \
    -DSCORE_SERVICE_URL="https://localhost:$port" \
    -DSCORE_SERVICE_CA_FILE="$pki/ca.pem" >/dev/null
  cmake --build "$run_build" -j "$(nproc)"
  [[ -x "$service_binary" ]] || die "the build made no score service at $service_binary"
}

# Starts the service on 127.0.0.1:PORT (0: any free port) with the SQLite file DB.
# Sets service_pid and service_port; returns 1 when it does not come up within
# 15 s, with its own words left in $service_log.
start_service() {
  service_log="$(dirname "$2")/service.log"
  launch_service "$1" "$2"
}

# The one way a script starts score-service: on 127.0.0.1:PORT (0: any free
# port) with DATABASE (a SQLite file or a PostgreSQL URL) and FLAGS, over TLS
# with $pki's localhost certificate, or plain HTTP when service_plain=1 (as
# behind a reverse proxy). Its words go to $service_log. Sets service_pid,
# service_port and service_url; returns 1 when it does not come up within
# $service_wait seconds (15; a migration of many records takes longer).
launch_service() {
  local port=$1 database=$2 scheme=https
  shift 2
  local tls=(--tls-cert "$pki/localhost.pem" --tls-key "$pki/localhost.key")
  if [[ ${service_plain:-0} == 1 ]]; then scheme=http tls=(); fi
  mkdir -p "$(dirname "$service_log")"
  : >"$service_log"
  # A session of its own: a Ctrl-C in the terminal reaches the window, and the
  # service is stopped in order by stop_service. It flushes every log line itself.
  setsid "$service_binary" --listen "127.0.0.1:$port" "${tls[@]}" --database "$database" "$@" \
    >"$service_log" 2>&1 &
  service_pid=$!
  local line
  for _ in $(seq $((${service_wait:-15} * 10))); do
    line=$(grep -m1 "^listening on $scheme://" "$service_log" || true)
    if [[ -n "$line" ]]; then
      service_url=${line#listening on } service_port=${line##*:}
      [[ "$service_port" =~ ^[0-9]+$ ]] && return 0
      echo "score-service announced an address without a port: $line" >>"$service_log"
      end_service
      return 1
    fi
    if ! kill -0 "$service_pid" 2>/dev/null; then
      wait "$service_pid" 2>/dev/null || true
      service_pid=""
      return 1
    fi
    sleep 0.1
  done
  echo "score-service printed no address within ${service_wait:-15} s" >>"$service_log"
  end_service
  return 1
}

# Starts the service on port 8443, else on the port the window was last built
# for, else on a free one; rebuilds the window when the port is not the one it
# was built for.
start_service_for_build() {
  local database=$1 built port
  built=$(built_port)
  for port in $(printf '%s\n' "$default_port" "$built" 0 | awk '!seen[$0]++'); do
    if start_service "$port" "$database"; then
      break
    fi
    echo "The score service could not listen on port $port." >&2
    if ((port == 0)); then
      sed 's/^/  score-service: /' "$service_log" >&2
      die "the score service did not start (its log: $service_log)"
    fi
  done
  if [[ "$service_port" != "$built" ]]; then
    echo "Rebuilding the programs for https://localhost:$service_port"
    build_programs "$service_port"
  fi
}

stop_service() { end_service; }

# SIGTERM lets it finish requests in flight; after 10 s it is killed.
end_service() {
  [[ -n "$service_pid" ]] || return 0
  kill -TERM "$service_pid" 2>/dev/null || true
  for _ in $(seq 100); do
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$service_pid" 2>/dev/null; then
    echo "score-service ignored SIGTERM for 10 s; killing it" >&2 || true
    kill -KILL "$service_pid" 2>/dev/null || true
  fi
  wait "$service_pid" 2>/dev/null || true
  service_pid=""
}

# For an EXIT trap: stops the service, then says so. After Ctrl-C under
# `scripts/dev run | tee log` the pipe's reader is gone: a write must neither
# kill this shell (SIGPIPE) nor come before the stop, or the service outlives it.
stop_service_then_say() {
  trap '' PIPE
  local stopped=$service_pid
  stop_service
  if [[ -n "$stopped" ]]; then echo "Stopped the score service." 2>/dev/null || true; fi
}
