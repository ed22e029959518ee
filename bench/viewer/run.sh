#!/bin/bash
# Opening the message viewer on large messages, each case in its own process under
# /usr/bin/time -v on the offscreen platform: wall time of the whole process, the time the
# program itself reports from ShowMessageView to the painted dialog, and peak memory. The
# parse-* rows build the message object alone, without any viewer, so that the viewer's own
# share of time and memory is the difference between an open-* row and its parse-* row; the
# idle row is the application started and nothing else. "reported" is the time the program
# measures itself; "wall" adds building the message in memory and starting the process.
# Several programs (for instance a build of an older revision) run side by side, case by case.
# Usage: bench/viewer/run.sh [VIEWER_BENCH...]   (default build-bench/bench/viewer/viewer_bench)
# Environment: CASES (default below), TIMEOUT seconds per case (default 300).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
PROGRAMS=("$@")
[ ${#PROGRAMS[@]} -gt 0 ] || PROGRAMS=("$ROOT/build-bench/bench/viewer/viewer_bench")
CASES=${CASES:-"idle parse-attachment open-attachment parse-lf open-lf parse-cr open-cr parse-lf-short open-lf-short parse-cr-short open-cr-short open-html"}
TIMEOUT=${TIMEOUT:-300}

[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }
for program in "${PROGRAMS[@]}"; do
  [ -x "$program" ] || { echo "missing $program: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen

printf '%-18s %-40s %10s %10s %12s\n' case program reported wall "peak MB"
for case in $CASES; do
  for program in "${PROGRAMS[@]}"; do
    reported=timeout
    if timeout "$TIMEOUT" /usr/bin/time -v -o "$WORK/time" "$program" "$case" > "$WORK/out" 2>/dev/null; then
      reported=$(sed -n 's/.*: \([0-9.]*\) s$/\1 s/p' "$WORK/out" | head -n 1)
    fi
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$WORK/time" 2>/dev/null || true)
    peak=$(awk '/Maximum resident set size/ { printf "%.1f", $6 / 1024 }' "$WORK/time" 2>/dev/null || true)
    label=$program
    [ ${#label} -le 40 ] || label="...${label: -37}"
    printf '%-18s %-40s %10s %10s %12s\n' "$case" "$label" "$reported" "${wall:--}" "${peak:--}"
  done
done
