#!/bin/sh
# Builds the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer
# in its own folder (build-asan/, or $SOMNEL_ASAN_BUILD_DIR) and runs every
# test there under the virtual X server. Leaks inside system libraries are
# suppressed by scripts/lsan.supp, which says why for each entry.
# Extra arguments go to ctest (-R NAME, for instance). $SOMNEL_JOBS limits
# the build's parallel jobs (the sanitized build is heavy).
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
B=${SOMNEL_ASAN_BUILD_DIR:-build-asan}
[ -f "$B/build.ninja" ] || cmake -S . -B "$B" -G Ninja -DSOMNEL_SANITIZE=ON >/dev/null
cmake --build "$B" -j "${SOMNEL_JOBS:-$(nproc)}"
SUPP=$PWD/scripts/lsan.supp
# detect_odr_violation: the framework is linked into each bundle with hidden
# visibility and into the test programs too; those copies never meet.
# NOTE: the system libraries are built without frame pointers, so a leak's
# stack often ends at the library; the suppressions name libraries. Setting
# fast_unwind_on_malloc=0 gives whole stacks but makes Mesa's shader
# compiler (every GL test) many times slower. verify_asan_link_order: the
# swap counter is preloaded ahead of the runtime into the programs it counts.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_odr_violation=0:strict_init_order=1:verify_asan_link_order=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$SUPP:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LIBGL_ALWAYS_SOFTWARE=1
cd "$B"
exec xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX -noreset" ctest --output-on-failure -j "${SOMNEL_JOBS:-$(nproc)}" "$@"
