#!/bin/sh
# Configures (once) and builds everything into build/.
set -eu
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
export CCACHE_DIR="${CCACHE_DIR:-$PWD/.ccache}"
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build build
