#!/bin/sh
# Installs what Veloqua needs on Debian 12, as root.
#   scripts/deps.sh run    build and run the desktop program and the reference service
#   scripts/deps.sh test   the above, plus what the tests and benchmarks use
set -eu

BUILD="cmake ninja-build ccache g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-charts-dev
  qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  libcpp-httplib-dev libsqlite3-dev
  libcurl4-openssl-dev libxml2-dev libjpeg62-turbo-dev libgif-dev libzip-dev"
RUN="xvfb xauth tzdata"
TEST="curl nginx-light postgresql clang libclang-rt-14-dev iproute2 procps"

case "${1:-run}" in
  run)  PACKAGES="$BUILD $RUN" ;;
  test) PACKAGES="$BUILD $RUN $TEST" ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  echo "scripts/deps.sh installs Debian packages and must run as root (or skip it and install: $PACKAGES)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
# shellcheck disable=SC2086
apt-get install -y --no-install-recommends $PACKAGES
