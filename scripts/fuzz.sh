#!/bin/sh
# Builds the fuzz harnesses of tests/fuzz with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-fuzz/, or
# $SOMNEL_FUZZ_BUILD_DIR) and runs each for SECONDS (default 60).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Each run starts from the harness's corpus in the tree; new inputs go to a
# scratch corpus in the build folder. A failing input is copied into the
# tree's corpus (tests/fuzz/corpus/<target>/crash-*), so that
# fuzz_corpus_test replays it from then on, and the script ends non-zero.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
if ! command -v clang++ >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "somnel: installing: clang" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang >/dev/null
fi
SECONDS_EACH=${1:-60}
[ $# -gt 0 ] && shift
TARGETS=${*:-"parse_time colors fonts defaults_text preferences manifest switch_to_resource description"}
B=${SOMNEL_FUZZ_BUILD_DIR:-build-fuzz}
[ -f "$B/build.ninja" ] || CC=clang CXX=clang++ cmake -S . -B "$B" -G Ninja -DSOMNEL_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
for t in $TARGETS; do cmake --build "$B" -j "${SOMNEL_JOBS:-$(nproc)}" --target "fuzz_$t"; done

SUPP=$PWD/scripts/lsan.supp
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_odr_violation=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$SUPP:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
status=0
for t in $TARGETS; do
  seeds=$PWD/tests/fuzz/corpus/$t
  work=$B/corpus/$t
  art=$B/artifacts/$t
  rm -rf "$art"
  mkdir -p "$work" "$art"
  echo "== $t: ${SECONDS_EACH}s" >&2
  # A target's dictionary (tests/fuzz/<target>.dict: its words and the
  # numbers at the edges), and room for inputs as large as it needs: a
  # description's caps lie far past libFuzzer's usual 4 KiB.
  extra=""
  [ -f "tests/fuzz/$t.dict" ] && extra="-dict=tests/fuzz/$t.dict"
  case $t in description) extra="$extra -max_len=65536" ;; esac
  # -close_fd_mask=2: the code under test reports bad input on stderr by
  # design; libFuzzer's own findings still reach the log.
  # shellcheck disable=SC2086
  if ! "$B/bin/fuzz_$t" -max_total_time="$SECONDS_EACH" -close_fd_mask=2 -print_final_stats=1 $extra \
      -artifact_prefix="$art/" "$work" "$seeds" >"$B/fuzz-$t.log" 2>&1; then
    status=1
    for f in "$art"/*; do
      [ -f "$f" ] && cp "$f" "$seeds/$(basename "$f")" && echo "somnel: $t: kept $seeds/$(basename "$f")" >&2
    done
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
    "$B/fuzz-$t.log" | sed "s/^/$t /" || true
  grep -E 'ERROR|fuzz check failed|SUMMARY' "$B/fuzz-$t.log" | head -5 || true
done
exit $status
