#!/bin/sh
# Configures and builds into build/ (or $SOMNEL_BUILD_DIR). Under CI
# (CI=true) warnings are errors. Extra arguments go to CMake's configure
# step the first time (for example -DCMAKE_BUILD_TYPE=Debug); without one
# naming the build type, the build is optimised with debug information
# (RelWithDebInfo).
set -e
cd "$(dirname "$0")/.."
B=${SOMNEL_BUILD_DIR:-build}
WERROR=OFF
[ "$CI" = true ] && WERROR=ON
LAUNCHER=""
command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
TYPE=-DCMAKE_BUILD_TYPE=RelWithDebInfo
for a in "$@"; do
  case "$a" in -DCMAKE_BUILD_TYPE=*|-DCMAKE_BUILD_TYPE:*) TYPE= ;; esac
done
[ -f "$B/build.ninja" ] || cmake -S . -B "$B" -G Ninja -DSOMNEL_WERROR=$WERROR $LAUNCHER $TYPE "$@" >/dev/null
cmake --build "$B" -j "$(nproc)"
