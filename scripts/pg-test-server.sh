#!/bin/sh
# A throw-away PostgreSQL cluster on loopback for the service tests.
#   scripts/pg-test-server.sh start STATE_DIR   initdb + start; writes STATE_DIR/url
#   scripts/pg-test-server.sh stop STATE_DIR    stops it and removes its files
# PostgreSQL refuses to run as root, so as root the cluster runs as the "postgres" user.
set -eu
cmd=${1:?start or stop}
state=${2:?state folder}
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bindir" ] || { echo "PostgreSQL server binaries not found (scripts/deps.sh test installs them)" >&2; exit 1; }

as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$cmd" in
start)
  mkdir -p "$state"
  if [ -f "$state/dir" ]; then "$0" stop "$state" || true; fi
  data=$(mktemp -d /tmp/vq-pgtest.XXXXXX)
  if [ "$(id -u)" -eq 0 ]; then chown postgres "$data"; fi
  as_pg "$bindir/initdb" -D "$data/db" -U postgres --auth=trust -E UTF8 --no-sync >"$state/initdb.log" 2>&1
  echo "$data" >"$state/dir"
  # fsync off: the cluster lives for one test run; the service's own durability is what the
  # tests kill.
  started=0
  for try in 1 2 3 4 5 6; do
    port=$(( 20000 + ( $$ * 7 + try * 977 ) % 30000 ))
    if as_pg "$bindir/pg_ctl" -D "$data/db" -l "$data/server.log" -w -t 30 \
         -o "-h 127.0.0.1 -p $port -k $data -c fsync=off -c max_connections=200" start >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  [ "$started" -eq 1 ] || { cat "$data/server.log" >&2; exit 1; }
  echo "postgresql://postgres@127.0.0.1:$port" >"$state/url"
  echo "PostgreSQL test cluster on 127.0.0.1:$port"
  ;;
stop)
  [ -f "$state/dir" ] || exit 0
  data=$(cat "$state/dir")
  as_pg "$bindir/pg_ctl" -D "$data/db" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$data" "$state/dir" "$state/url"
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
  ;;
esac
