#!/bin/sh
# Configures and builds into build/ (or $SOMNEL_BUILD_DIR). The build is
# optimised with debug information (RelWithDebInfo) unless the caller names
# another type in $CMAKE_BUILD_TYPE (Debug, Release, ...).
set -e
cd "$(dirname "$0")/.."
B=${SOMNEL_BUILD_DIR:-build}
TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo}
# Configure on the first build, and again when the caller asks for a type
# other than the one the build folder was made with.
if [ ! -f "$B/build.ninja" ] || ! grep -qx "CMAKE_BUILD_TYPE:STRING=$TYPE" "$B/CMakeCache.txt" 2>/dev/null; then
  cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE="$TYPE" >/dev/null
fi
cmake --build "$B" -j "$(nproc)"
