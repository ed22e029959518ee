#!/bin/bash
# Store benchmarks, side by side in one run, on a generated store of 50,000 messages
# (90% 2 KB text mails, 10% 200 KB mails with a base64 attachment; 512-byte data blocks):
#   - brindle-cli export of every message against undbx extracting the same .dbx;
#   - brindle-cli info + list (open, index walk, every summary) of the .dbx and of the .mbx/.idx;
#   - peak memory of brindle-cli list.
# Warm cache; several runs; medians. hyperfine, when installed, times info+list.
# Usage: bench/store/run.sh [BUILD_DIR] [WORK_DIR] [RUNS] [OUT_DIR]
# OUT_DIR takes the exported files (default WORK_DIR); /dev/shm keeps the disk's file-system
# costs out of the comparison.
# BUILD_DIR is a build with -DBRINDLE_BENCH=ON (default build-bench, as `make bench` makes it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-${TMPDIR:-/tmp}/brindle-bench-store}
RUNS=${3:-5}
CLI=$BUILD/cli/brindle-cli
MAKE_STORE=$BUILD/bench/store/brindle-make-bench-store

for tool in "$CLI" "$MAKE_STORE"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
command -v undbx >/dev/null || { echo "undbx is not installed (apt-get install undbx)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }

mkdir -p "$WORK"
if [ ! -f "$WORK/Bench.dbx" ] || [ ! -f "$WORK/Bench.mbx" ] || [ ! -f "$WORK/Bench.idx" ]; then
  echo "Generating the stores in $WORK ..."
  "$MAKE_STORE" "$WORK"
fi
ls -l "$WORK"/Bench.* | awk '{print "  " $5 " bytes  " $9}'
cat "$WORK"/Bench.* > /dev/null   # warm the page cache

OUT_BASE=${4:-$WORK}/brindle-export-runs
INFO_LIST_DBX="$CLI info $WORK/Bench.dbx > /dev/null && $CLI list $WORK/Bench.dbx > /dev/null"
INFO_LIST_MBX="$CLI info $WORK/Bench.mbx > /dev/null && $CLI list $WORK/Bench.mbx > /dev/null"

# Wall time in seconds of a shell command.
seconds_of() {
  local start end
  start=$(date +%s.%N)
  bash -c "$1"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f\n", b - a}'
}
median() { sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.3f\n", m}'; }

# Export: every run writes into a folder of its own, the two programs taking turns, and the
# folders are removed only at the end. (Files deleted a moment before make the file system
# search longer for free inodes, which would blur the comparison.)
echo "Export runs (one warm-up each, then $RUNS):"
rm -rf "$OUT_BASE"
mkdir -p "$OUT_BASE"
CLI_TIMES=()
UNDBX_TIMES=()
for run in $(seq 0 "$RUNS"); do
  mkdir -p "$OUT_BASE/cli-$run" "$OUT_BASE/undbx-$run"
  sync
  t_cli=$(seconds_of "$CLI export $WORK/Bench.dbx $OUT_BASE/cli-$run")
  sync
  t_undbx=$(seconds_of "undbx -v 0 $WORK/Bench.dbx $OUT_BASE/undbx-$run > /dev/null")
  echo "  run $run: brindle-cli export $t_cli s, undbx $t_undbx s$([ "$run" = 0 ] && echo ' (warm-up)')"
  if [ "$run" != 0 ]; then CLI_TIMES+=("$t_cli"); UNDBX_TIMES+=("$t_undbx"); fi
  [ "$run" = 1 ] && EXPORTED=$(find "$OUT_BASE/cli-1" -name '*.eml' | wc -l)
  # Memory-backed folders cannot hold every run; they have no such search either.
  [ "$(stat -f -c %T "$OUT_BASE")" = tmpfs ] && rm -rf "$OUT_BASE/cli-$run" "$OUT_BASE/undbx-$run"
done
rm -rf "$OUT_BASE"
T_CLI=$(printf '%s\n' "${CLI_TIMES[@]}" | median)
T_UNDBX=$(printf '%s\n' "${UNDBX_TIMES[@]}" | median)

echo
if command -v hyperfine >/dev/null; then
  hyperfine --runs "$RUNS" --warmup 1 --export-json "$WORK/list.json" \
    -n "info+list .dbx" "$INFO_LIST_DBX" -n "info+list .mbx" "$INFO_LIST_MBX"
  hyperfine_median() { python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print('%.3f' % d['results'][int(sys.argv[2])]['median'])" "$@"; }
  T_LIST_DBX=$(hyperfine_median "$WORK/list.json" 0)
  T_LIST_MBX=$(hyperfine_median "$WORK/list.json" 1)
else
  T_LIST_DBX=$(for _ in $(seq "$RUNS"); do seconds_of "$INFO_LIST_DBX"; done | median)
  T_LIST_MBX=$(for _ in $(seq "$RUNS"); do seconds_of "$INFO_LIST_MBX"; done | median)
fi

peak_kb() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}'; }
MEM_DBX=$(peak_kb "$CLI" list "$WORK/Bench.dbx")
MEM_MBX=$(peak_kb "$CLI" list "$WORK/Bench.mbx")
MEM_JSON=$(peak_kb "$CLI" list --json "$WORK/Bench.dbx")

echo
echo "Medians of $RUNS warm runs (messages exported by brindle-cli: $EXPORTED)"
printf '  %-34s %8s s\n' "brindle-cli export (.dbx)" "$T_CLI" "undbx (.dbx)" "$T_UNDBX" \
  "info+list (.dbx)" "$T_LIST_DBX" "info+list (.mbx/.idx)" "$T_LIST_MBX"
printf '  %-34s %8s\n' "export speed-up over undbx" "$(awk -v a="$T_UNDBX" -v b="$T_CLI" 'BEGIN {printf "%.2fx", a / b}')"
printf '  %-34s %8s KB\n' "peak memory, list (.dbx)" "$MEM_DBX" "peak memory, list (.mbx/.idx)" "$MEM_MBX" \
  "peak memory, list --json (.dbx)" "$MEM_JSON"
