#!/bin/sh
# Runs the whole suite RUNS times in a row (default 20) while two busy loops
# load the machine, and says how many runs passed: a test that fails under
# load, or by chance, shows up here. Extra arguments go to ctest.
#   scripts/stress.sh [RUNS] [CTEST ARGS...]
cd "$(dirname "$0")/.."
RUNS=${1:-20}
[ $# -gt 0 ] && shift
B=${SOMNEL_BUILD_DIR:-build}
LOG=$PWD/$B/stress.log
: >"$LOG"
sh -c 'while :; do :; done' &
busy1=$!
sh -c 'while :; do :; done' &
busy2=$!
# A stop signal ends the script, the run under way (its own process group,
# server and tests included) and the busy loops: a trap that only killed
# the loops let the script go on to the next run.
run=
stop() {
  [ -n "$run" ] && kill -TERM -- "-$run" 2>/dev/null
  exit 130
}
trap 'kill $busy1 $busy2 2>/dev/null' EXIT
trap stop INT TERM
export LIBGL_ALWAYS_SOFTWARE=1
# A fixed X server number ($SOMNEL_XVFB_SERVERNUM) keeps clear of other
# virtual servers started on a shared machine at the same moment.
SERVER=${SOMNEL_XVFB_SERVERNUM:+-n $SOMNEL_XVFB_SERVERNUM}
passed=0
i=1
while [ "$i" -le "$RUNS" ]; do
  start=$(date +%s)
  # A session (and so a process group) of its own, led by the run's shell.
  SERVER=$SERVER setsid sh -c 'cd "$0" && exec xvfb-run ${SERVER:--a} \
        -s "-screen 0 1280x1024x24 +extension GLX -noreset" ctest --output-on-failure -j "$(nproc)" "$@"' \
        "$B" "$@" >>"$LOG" 2>&1 &
  run=$!
  if wait "$run"; then
    passed=$((passed + 1))
    echo "run $i: passed ($(( $(date +%s) - start )) s)"
  else
    echo "run $i: FAILED ($(( $(date +%s) - start )) s); see $LOG"
  fi
  i=$((i + 1))
done
echo "$passed of $RUNS runs passed under load"
[ "$passed" -eq "$RUNS" ]
