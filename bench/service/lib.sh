# shellcheck shell=bash
# Sourced by the service benchmarks: a throwaway PKI and work folder, and
# starting and stopping score-service on loopback. Expects $build.
work=$(mktemp -d)
chmod 755 "$work"
trap 'cleanup' EXIT
cleanup_hooks=()
cleanup() {
  for hook in "${cleanup_hooks[@]}"; do $hook || true; done
  rm -rf "$work"
}
"$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/make-pki.sh" "$work/pki" >/dev/null
ulimit -n "$(ulimit -Hn)"

load() { cut -d' ' -f1-3 /proc/loadavg; }
stamp() { echo "-- $(date -u +%H:%M:%S) load $(load)"; }

# start_service DATABASE [more flags]: sets svc_pid and svc_url; svc_plain=1
# serves plain HTTP (loopback only, as behind a reverse proxy); svc_binary
# names another build's score-service; svc_name (default "service") names its
# logs in $work, so that two can run at once. The rate limit is off: every load
# client shares 127.0.0.1. Waits up to 15 minutes for a migration.
start_service() {
  local db=$1 log=$work/${svc_name:-service}
  shift
  local tls=(--tls-cert "$work/pki/localhost.pem" --tls-key "$work/pki/localhost.key")
  [[ "${svc_plain:-0}" == 1 ]] && tls=()
  # Emptied here, not only by the redirection below: the loop could otherwise
  # read the last service's address before the new process has truncated it.
  : >"$log.log"
  "${svc_binary:-$build/service/score-service}" --listen 127.0.0.1:0 "${tls[@]}" --database "$db" --rate-limit 0 "$@" \
    >"$log.log" 2>"$log.err" &
  svc_pid=$!
  for _ in $(seq 9000); do
    [[ -s "$log.log" ]] || ! kill -0 "$svc_pid" 2>/dev/null && break
    sleep 0.1
  done
  svc_url=$(head -1 "$log.log" | sed -n 's/^listening on //p')
  if [[ -z "$svc_url" ]]; then
    echo "score-service did not start:" >&2
    cat "$log.log" "$log.err" >&2
    return 1
  fi
}

stop_service() {
  kill -TERM "$svc_pid" 2>/dev/null || true
  wait "$svc_pid" 2>/dev/null || true
}
cleanup_hooks+=(stop_service)
