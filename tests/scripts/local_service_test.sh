#!/usr/bin/env bash
# The local service that scripts/dev run starts: its certificates are accepted
# for localhost, made once, and the service comes up, answers and leaves no
# process behind, even when its output has gone. Usage: local_service_test.sh SCORE_SERVICE_BINARY
set -euo pipefail
root=$(mktemp -d)
trap 'stop_service; rm -rf "$root"' EXIT
# shellcheck source=scripts/lib/local-service.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/local-service.sh"
service_binary=${1:?usage: local_service_test.sh SCORE_SERVICE_BINARY}
fail() { echo "FAIL: $*" >&2; exit 1; }

ensure_local_pki >/dev/null
before=$(sha256sum "$pki"/*)
ensure_local_pki
[[ "$(sha256sum "$pki"/*)" == "$before" ]] || fail "a second call made new certificates"
# Valid for localhost: the health check below goes there over TLS with the local CA.
openssl verify -CAfile "$pki/ca.pem" -verify_ip 127.0.0.1 "$pki/localhost.pem" >/dev/null ||
  fail "the certificate is not valid for 127.0.0.1"
[[ "$(stat -c %a "$pki/localhost.key" "$pki/ca.key")" == $'600\n600' ]] || fail "private keys are readable by others"

start_service 0 "$root/db/scores.sqlite3" || fail "the service did not start: $(cat "$service_log")"
first_pid=$service_pid first_port=$service_port
code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 --cacert "$pki/ca.pem" \
  "https://localhost:$first_port/healthz") || true
[[ "$code" == 200 ]] || fail "healthz over the local CA answered '$code'"

# A second service on the same port fails, and is reported as failing.
if start_service "$first_port" "$root/other/scores.sqlite3"; then fail "two services on one port"; fi
[[ -s "$service_log" ]] || fail "the failed start left no words"

# Stopped on exit with no reader left on its output, as after Ctrl-C under `| tee`.
service_pid=$first_pid
exec {gone}> >(:)
wait $!
status=0
(trap stop_service_then_say EXIT; exit 130) >&"$gone" 2>&"$gone" || status=$?
((status == 130)) || fail "the exit trap ended with status $status, not 130"
! kill -0 "$first_pid" 2>/dev/null || fail "the service outlived its stop"
echo "local service scripts: ok"
