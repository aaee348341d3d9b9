#!/bin/bash
# Accuracy: Veloqua's measured speed against curl's speed_download for the same file through a
# shaped link: a network namespace of our own whose loopback (MTU 1500) is limited with a token
# bucket (tc tbf) to 10, 50 and 200 Mbit/s, nginx serving 2 MB and 20 MB files inside it.
# Needs root (ip netns, tc); nothing outside the namespace is touched.
#
#   sudo bench/engine/accuracy.sh [BUILD_DIR]      (build; ROUNDS=3)
set -euo pipefail
. "$(dirname "$0")/nginx.sh"
BUILD=$(cd "${1:-build}" && pwd)
ROUNDS=${ROUNDS:-3}
BIN=$BUILD/bin
RATES=${RATES:-"10 50 200"}

[ "$(id -u)" -eq 0 ] || { echo "accuracy.sh needs root for its network namespace (ip netns, tc)" >&2; exit 1; }
for tool in ip tc nginx curl; do
  command -v $tool >/dev/null || { echo "$tool is needed (scripts/deps.sh test)" >&2; exit 1; }
done

NS=vqbench$$
WORK=$(mktemp -d)
NGINX_PID=
cleanup() {
  # nginx runs under "ip netns exec": its own pid is in its pid file.
  [ -f "$WORK/nginx.pid" ] && kill "$(cat "$WORK/nginx.pid")" 2>/dev/null || true
  [ -n "$NGINX_PID" ] && wait "$NGINX_PID" 2>/dev/null || true
  ip netns del "$NS" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

ip netns add "$NS"
IN() { ip netns exec "$NS" "$@"; }
IN ip link set lo up
IN ip link set lo mtu 1500

mkdir -p "$WORK/www" "$WORK/home"
head -c 2000000 /dev/urandom > "$WORK/www/2MB.bin"
head -c 20000000 /dev/urandom > "$WORK/www/20MB.bin"
write_nginx_conf "$WORK" "127.0.0.1:8080"
IN nginx -c "$WORK/nginx.conf" -p "$WORK" &
NGINX_PID=$!
for _ in $(seq 50); do IN curl -s -o /dev/null http://127.0.0.1:8080/2MB.bin && break; sleep 0.1; done

export XDG_CONFIG_HOME="$WORK/home"
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
curl_speed() { IN curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:8080/$1"; }
veloqua_speed() {
  IN env XDG_CONFIG_HOME="$XDG_CONFIG_HOME" "$BIN/veloqua-cli" --engine "$2" --parsing 4 --json "127.0.0.1:8080/$1" |
    grep -m1 '"bytesPerSecond"' | sed -E 's/.*: *([0-9.eE+-]+).*/\1/'
}

echo "Speed through a shaped loopback (tbf, MTU 1500), median of $ROUNDS rounds; bytes per second"
printf '%-10s %-6s %14s %14s %9s %14s %9s\n' "rate" "file" "curl" "veloqua curl" "diff" "veloqua system" "diff"
for rate in $RATES; do
  # A bucket of about 4 ms of traffic (at least 16 KB) and a queue of 50 ms.
  burst=$(( rate * 1000000 / 8 / 250 ))
  [ "$burst" -lt 16384 ] && burst=16384
  IN tc qdisc replace dev lo root tbf rate "${rate}mbit" burst "$burst" latency 50ms
  for file in 2MB.bin 20MB.bin; do
    c=""; v=""; s=""
    for _ in $(seq "$ROUNDS"); do
      c="$c $(curl_speed "$file")"
      v="$v $(veloqua_speed "$file" curl)"
      s="$s $(veloqua_speed "$file" system)"
    done
    C=$(echo $c | tr ' ' '\n' | median)
    V=$(echo $v | tr ' ' '\n' | median)
    S=$(echo $s | tr ' ' '\n' | median)
    dv=$(awk -v a="$V" -v b="$C" 'BEGIN { printf "%+.2f%%", (a / b - 1) * 100 }')
    ds=$(awk -v a="$S" -v b="$C" 'BEGIN { printf "%+.2f%%", (a / b - 1) * 100 }')
    printf '%-10s %-6s %14.0f %14.0f %9s %14.0f %9s\n' "${rate}Mbit/s" "${file%.bin}" "$C" "$V" "$dv" "$S" "$ds"
  done
done
echo "goal: within 3% of curl's speed_download"
