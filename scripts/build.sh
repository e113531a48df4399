#!/bin/sh
# Configures and builds into build/ (or $SOMNEL_BUILD_DIR).
set -e
cd "$(dirname "$0")/.."
B=${SOMNEL_BUILD_DIR:-build}
[ -f "$B/build.ninja" ] || cmake -S . -B "$B" -G Ninja >/dev/null
cmake --build "$B" -j "$(nproc)"
