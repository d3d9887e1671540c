# shellcheck shell=bash
# Sourced after lib.sh: nginx on loopback with the throwaway PKI, answering a
# static 200 or serving a folder's files with gzip on, stopped by the cleanup hook.
nginx_conf() { # PORT [ROOT: serve files, not a static 200]
  local body="return 200 'ok';"
  [[ -n "${2:-}" ]] && body="root $2; default_type text/html; gzip on; gzip_min_length 1024;"
  cat <<CONF
worker_processes 2;
pid $work/nginx-$1.pid;
error_log $work/nginx-$1.err;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $work/nginx-body-$1;
  server {
    listen 127.0.0.1:$1 ssl;
    ssl_certificate $work/pki/localhost.pem;
    ssl_certificate_key $work/pki/localhost.key;
    ssl_protocols TLSv1.2 TLSv1.3;
    location / { $body }
  }
}
CONF
}
start_nginx() { # PORT [ROOT]: sets nginx_pid
  nginx_conf "$1" "${2:-}" >"$work/nginx-$1.conf"
  nginx -c "$work/nginx-$1.conf" -g 'daemon off;' &
  nginx_pid=$!
  cleanup_hooks+=("kill $nginx_pid")
  sleep 0.5
}
workers() { echo "$1 $(pgrep -P "$1" | tr '\n' ' ')"; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
