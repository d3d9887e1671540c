# shellcheck shell=bash
# Sourced by the service benchmarks: a throwaway PKI and work folder, and
# score-service started and stopped on loopback through the scripts' one
# launcher (scripts/lib/local-service.sh). Expects $build.
work=$(mktemp -d)
chmod 755 "$work"
trap 'cleanup' EXIT
cleanup_hooks=()
cleanup() {
  for hook in "${cleanup_hooks[@]}"; do $hook || true; done
  rm -rf "$work"
}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/lib/local-service.sh
source "$root/scripts/lib/local-service.sh"
pki=$work/pki
"$root/scripts/lib/make-pki.sh" "$pki" >/dev/null
ulimit -n "$(ulimit -Hn)"

load() { cut -d' ' -f1-3 /proc/loadavg; }
stamp() { echo "-- $(date -u +%H:%M:%S) load $(load)"; }

# start_service DATABASE [more flags]: sets svc_pid and svc_url; svc_plain=1
# serves plain HTTP (loopback only, as behind a reverse proxy); svc_binary
# names another build's score-service; svc_name (default "service") names its
# log in $work, so that two can run at once. The rate limit is off: every load
# client shares 127.0.0.1. Waits up to 15 minutes for a migration.
start_service() {
  service_binary=${svc_binary:-$build/service/score-service} service_plain=${svc_plain:-0}
  service_log=$work/${svc_name:-service}.log service_wait=900
  if ! launch_service 0 "$1" --rate-limit 0 "${@:2}"; then
    echo "score-service did not start:" >&2
    cat "$service_log" >&2
    return 1
  fi
  svc_pid=$service_pid svc_url=$service_url
}

stop_service() {
  service_pid=${svc_pid:-}
  end_service
}
cleanup_hooks+=(stop_service)
