#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for the storage tests and the benchmarks on a private
# loopback port, run by an unprivileged user when started as root (CI is).
# postgres.sh start|stop URLFILE: start writes the connection URL to URLFILE; stop removes the
# server and its folder. `restart` restarts it, `crash` stops it as a power cut would (no
# checkpoint, open sessions cut) and starts it again, and `kill-SIGNAL` sends SIGNAL to all its
# processes (STOP freezes it).
set -euo pipefail
action=$1 urlfile=${2:?usage: postgres.sh start|stop URLFILE}
bin=/usr/lib/postgresql/15/bin

as_owner() {
  if ((EUID == 0)); then runuser -u postgres -- "$@"; else "$@"; fi
}

stop() {
  [[ -f "$urlfile.dir" ]] || return 0
  dir=$(cat "$urlfile.dir")
  as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  rm -rf "$dir" "$urlfile" "$urlfile.dir"
}

if [[ $action == restart || $action == crash ]]; then
  mode=fast
  [[ $action == crash ]] && mode=immediate
  as_owner "$bin/pg_ctl" -D "$(cat "$urlfile.dir")/data" -m $mode -w -t 60 restart >/dev/null
  exit
elif [[ $action == kill-* ]]; then
  pid=$(head -1 "$(cat "$urlfile.dir")/data/postmaster.pid")
  pkill "-${action#kill-}" -P "$pid" && exec kill "-${action#kill-}" "$pid"
fi
stop
[[ $action == start ]] || exit 0
dir=$(mktemp -d /tmp/score-pg.XXXXXX)
chmod 755 "$dir"
((EUID == 0)) && chown postgres: "$dir"
echo "$dir" >"$urlfile.dir"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
as_owner "$bin/initdb" -D "$dir/data" -U scores -A trust -E UTF8 --no-locale >"$dir/initdb.log"
as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
  -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=on" start >/dev/null
echo "postgresql://scores@127.0.0.1:$port/postgres" >"$urlfile"
echo "PostgreSQL 15 at $(cat "$urlfile")"
