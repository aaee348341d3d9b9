#!/bin/bash
# Transfer overhead: one large file from a local nginx, fetched by curl(1) and by Veloqua:
# veloqua-cli with each engine and the window's personal test run (offscreen). Prints the
# median wall time of each over several rounds and its ratio to curl's, all measured in this run.
#
#   bench/engine/transfer.sh [BUILD_DIR] [SIZE_MiB]      (build, 1024; ROUNDS=5)
#
# Veloqua fetches the page only (--parsing 4), as curl does; the last line is for information:
# the same with the page kept (its first 16 MiB) and searched for images.
set -euo pipefail
. "$(dirname "$0")/nginx.sh"
BUILD=$(cd "${1:-build}" && pwd)
SIZE_MB=${2:-1024}
ROUNDS=${ROUNDS:-5}
BIN=$BUILD/bin

command -v nginx >/dev/null || { echo "nginx is needed (scripts/deps.sh test)" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is needed (scripts/deps.sh test)" >&2; exit 1; }

WORK=$(mktemp -d)
NGINX_PID=
cleanup() {
  [ -f "$WORK/nginx.pid" ] && kill "$(cat "$WORK/nginx.pid")" 2>/dev/null || true
  [ -n "$NGINX_PID" ] && wait "$NGINX_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

mkdir -p "$WORK/www" "$WORK/home"
# A sparse file: nginx serves it from the page cache, so the disk plays no part.
truncate -s "${SIZE_MB}M" "$WORK/www/big.bin"

PORT=$((20000 + RANDOM % 20000))
write_nginx_conf "$WORK" "127.0.0.1:$PORT" "tcp_nopush on;"
nginx -c "$WORK/nginx.conf" -p "$WORK" &
NGINX_PID=$!
URL="127.0.0.1:$PORT/big.bin"
for _ in $(seq 50); do curl -s -o /dev/null "http://$URL" && break; sleep 0.1; done

export XDG_CONFIG_HOME="$WORK/home" QT_QPA_PLATFORM=offscreen
ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
# The window's own clock, from "Start tests" to the end of the run: its start-up (a Qt
# application, the reference service it asks at start) is not part of the transfer.
window_ms() { "$BIN/bench_window_run" "$@" 2>/dev/null | awk '/ ms, / { print $1 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A TIMES
NAMES=(curl cli-curl cli-system window-curl window-system cli-parsing)
run() {
  case $1 in
    curl) ms curl -s -o /dev/null "http://$URL" ;;
    cli-curl) ms "$BIN/veloqua-cli" --engine curl --parsing 4 --json "$URL" ;;
    cli-system) ms "$BIN/veloqua-cli" --engine system --parsing 4 --json "$URL" ;;
    window-curl) window_ms --engine curl "$URL" ;;
    window-system) window_ms --engine system "$URL" ;;
    cli-parsing) ms "$BIN/veloqua-cli" --engine curl --parsing 2 --json "$URL" ;;
  esac
}
run curl >/dev/null # warm the page cache
for _ in $(seq "$ROUNDS"); do
  for n in "${NAMES[@]}"; do
    [ -x "$BIN/bench_window_run" ] || [[ $n != window-* ]] || continue
    TIMES[$n]="${TIMES[$n]:-} $(run "$n")"
  done
done

echo "Transfer of a ${SIZE_MB} MiB file from nginx on loopback, median of $ROUNDS rounds"
printf '%-36s %10s %8s %8s\n' "" "ms" "ratio" "goal"
BASE=$(echo "${TIMES[curl]}" | tr ' ' '\n' | grep . | median)
goal() { case $1 in cli-curl) echo "1.15x" ;; cli-system) echo "2.00x" ;; window-curl) echo "1.30x" ;; *) echo "" ;; esac; }
label() {
  case $1 in
    curl) echo "curl -o /dev/null" ;;
    cli-curl) echo "veloqua-cli --engine curl" ;;
    cli-system) echo "veloqua-cli --engine system" ;;
    window-curl) echo "window run, built-in client" ;;
    window-system) echo "window run, system engine" ;;
    cli-parsing) echo "veloqua-cli, curl, page parsed" ;;
  esac
}
for n in "${NAMES[@]}"; do
  [ -n "${TIMES[$n]:-}" ] || continue
  m=$(echo "${TIMES[$n]}" | tr ' ' '\n' | grep . | median)
  printf '%-36s %10d %7.2fx %8s\n' "$(label "$n")" "$m" "$(echo "$m $BASE" | awk '{ print $1 / $2 }')" "$(goal "$n")"
done
