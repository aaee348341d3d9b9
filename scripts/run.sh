#!/bin/sh
# Installs, builds and starts Veloqua against the reference central service on this computer.
set -eu
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then
  scripts/deps.sh run
fi
scripts/build.sh

# The reference service, with its SQLite database under ~/.local/share/veloqua-service, in the
# background for as long as Veloqua runs. A service already listening is used as it is.
SERVICE_DIR="${XDG_DATA_HOME:-$HOME/.local/share}/veloqua-service"
mkdir -p "$SERVICE_DIR"
SERVICE_LOG="$SERVICE_DIR/service.log"
build/bin/veloqua-service --database "$SERVICE_DIR/veloqua.sqlite" >>"$SERVICE_LOG" 2>&1 &
SERVICE_PID=$!
XVFB_PID=
cleanup() {
  kill "$SERVICE_PID" 2>/dev/null || true
  wait "$SERVICE_PID" 2>/dev/null || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
for _ in $(seq 1 50); do
  if ! kill -0 "$SERVICE_PID" 2>/dev/null; then
    echo "The reference service did not start (see $SERVICE_LOG); Veloqua uses whatever listens on its address." >&2
    break
  fi
  if tail -n 5 "$SERVICE_LOG" | grep -q "listening on"; then
    echo "Reference service: $(tail -n 5 "$SERVICE_LOG" | grep "listening on" | tail -n 1 | sed 's/^veloqua-service: //')"
    break
  fi
  sleep 0.1
done

# A machine without a desktop gets a virtual screen.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export DISPLAY=:77
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  sleep 1
  echo "No desktop found: Veloqua runs on the virtual screen $DISPLAY."
fi

build/bin/veloqua "$@"
