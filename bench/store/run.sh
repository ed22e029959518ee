#!/bin/bash
# Store benchmarks, side by side in one run, on a generated store of 50,000 messages
# (90% 2 KB text mails, 10% 200 KB mails with a base64 attachment; 512-byte data blocks):
#   - brindle-cli export of every message against undbx extracting the same .dbx;
#   - brindle-cli info + list (open, index walk, every summary) of the .dbx and of the .mbx/.idx;
#   - peak memory of brindle-cli list.
# Warm cache; several runs; medians. Usage: bench/store/run.sh [BUILD_DIR] [WORK_DIR] [RUNS]
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

OUT_CLI=$WORK/out-cli
OUT_UNDBX=$WORK/out-undbx
EXPORT_CLI="$CLI export $WORK/Bench.dbx $OUT_CLI"
EXPORT_UNDBX="undbx -v 0 $WORK/Bench.dbx $OUT_UNDBX"
INFO_LIST_DBX="$CLI info $WORK/Bench.dbx > /dev/null && $CLI list $WORK/Bench.dbx > /dev/null"
INFO_LIST_MBX="$CLI info $WORK/Bench.mbx > /dev/null && $CLI list $WORK/Bench.mbx > /dev/null"

# Median wall time in seconds of RUNS runs of a shell command, each after a preparation.
median_seconds() {
  local prepare=$1 command=$2 times=()
  for _ in $(seq "$RUNS"); do
    bash -c "$prepare"
    local start end
    start=$(date +%s.%N)
    bash -c "$command"
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.3f\n", m}'
}

echo
if command -v hyperfine >/dev/null; then
  hyperfine --runs "$RUNS" --warmup 1 --export-json "$WORK/export.json" \
    --prepare "rm -rf $OUT_CLI; mkdir -p $OUT_CLI; sync" --prepare "rm -rf $OUT_UNDBX; mkdir -p $OUT_UNDBX; sync" \
    -n "brindle-cli export" "$EXPORT_CLI" -n "undbx" "$EXPORT_UNDBX"
  hyperfine --runs "$RUNS" --warmup 1 --export-json "$WORK/list.json" \
    -n "info+list .dbx" "$INFO_LIST_DBX" -n "info+list .mbx" "$INFO_LIST_MBX"
  median() { python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print('%.3f' % d['results'][int(sys.argv[2])]['median'])" "$@"; }
  T_CLI=$(median "$WORK/export.json" 0)
  T_UNDBX=$(median "$WORK/export.json" 1)
  T_LIST_DBX=$(median "$WORK/list.json" 0)
  T_LIST_MBX=$(median "$WORK/list.json" 1)
else
  PREPARE="rm -rf $OUT_CLI $OUT_UNDBX; mkdir -p $OUT_CLI $OUT_UNDBX; sync"
  T_CLI=$(median_seconds "$PREPARE" "$EXPORT_CLI")
  T_UNDBX=$(median_seconds "$PREPARE" "$EXPORT_UNDBX")
  T_LIST_DBX=$(median_seconds ":" "$INFO_LIST_DBX")
  T_LIST_MBX=$(median_seconds ":" "$INFO_LIST_MBX")
fi

peak_kb() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}'; }
MEM_DBX=$(peak_kb "$CLI" list "$WORK/Bench.dbx")
MEM_MBX=$(peak_kb "$CLI" list "$WORK/Bench.mbx")
MEM_JSON=$(peak_kb "$CLI" list --json "$WORK/Bench.dbx")

EXPORTED=$(find "$OUT_CLI" -name '*.eml' | wc -l)
echo
echo "Medians of $RUNS warm runs (messages exported by brindle-cli: $EXPORTED)"
printf '  %-34s %8s s\n' "brindle-cli export (.dbx)" "$T_CLI" "undbx (.dbx)" "$T_UNDBX" \
  "info+list (.dbx)" "$T_LIST_DBX" "info+list (.mbx/.idx)" "$T_LIST_MBX"
printf '  %-34s %8s\n' "export speed-up over undbx" "$(awk -v a="$T_UNDBX" -v b="$T_CLI" 'BEGIN {printf "%.2fx", a / b}')"
printf '  %-34s %8s KB\n' "peak memory, list (.dbx)" "$MEM_DBX" "peak memory, list (.mbx/.idx)" "$MEM_MBX" \
  "peak memory, list --json (.dbx)" "$MEM_JSON"
