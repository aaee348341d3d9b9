#!/bin/sh
# Installs, builds and runs every test.
set -eu
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then
  scripts/deps.sh test
fi
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
