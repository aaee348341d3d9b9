#!/bin/sh
# Installs, builds and starts Veloqua.
set -eu
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then
  scripts/deps.sh run
fi
scripts/build.sh

# A machine without a desktop gets a virtual screen.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export DISPLAY=:77
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT INT TERM
  sleep 1
  echo "No desktop found: Veloqua runs on the virtual screen $DISPLAY."
fi

build/bin/veloqua "$@"
