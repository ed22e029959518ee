#!/bin/bash
# Rescue benchmark, side by side in one run, on a generated .dbx of 30,000 messages of about
# 3.8 KB (every tenth deleted, some orphaned):
#   - brindle-cli recover against undbx -r (recovery mode) writing the same messages;
#   - brindle-cli scan alone (MB/s of the store, warm cache);
#   - peak memory of both brindle-cli commands.
# Figures (Dec 2026, 2 cores, store and output in /dev/shm, side by side in one run):
#   recover: hyperfine, 10 runs: brindle-cli 0.47 s mean against undbx -r 1.74 s: 3.7x
#            (this script, 9 runs: median 3.2x, best 3.5x); peak memory 167 MB.
#   scan:    hyperfine, 15 runs: 0.201 s mean, 660 MB/s (this script: median 523 MB/s, best
#            728 MB/s); peak memory 149 MB.
#   The CLI reads a store of up to 256 MiB whole, in two halves side by side, instead of
#   mapping it (on this virtual machine mapping a page costs as much as reading several KiB);
#   recovered files are written by two threads. Before: recover 2.7-3.7x, scan 390-526 MB/s,
#   peak memory 52 MB. A larger store is mapped and its pages given back as the scan goes on
#   (a 328 MB store: 1.06 s, 73 MB).
# Usage: bench/rescue/run.sh [BUILD_DIR] [WORK_DIR] [RUNS] [OUT_DIR]
# OUT_DIR takes the written files (default /dev/shm when it exists, so that the disk's
# file-system costs stay out of the comparison). BUILD_DIR: a build with -DBRINDLE_BENCH=ON.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-${TMPDIR:-/tmp}/brindle-bench-rescue}
RUNS=${3:-5}
OUT=${4:-$( [ -d /dev/shm ] && echo /dev/shm/brindle-rescue-out || echo "$WORK/out")}
CLI=$BUILD/cli/brindle-cli
MAKE_STORE=$BUILD/bench/rescue/brindle-make-rescue-store

for tool in "$CLI" "$MAKE_STORE"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
command -v undbx >/dev/null || { echo "undbx is not installed (apt-get install undbx)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }

mkdir -p "$WORK"
[ -f "$WORK/Rescue.dbx" ] || "$MAKE_STORE" "$WORK"
STORE=$WORK/Rescue.dbx
SIZE=$(stat -c %s "$STORE")
echo "store: $SIZE bytes"
cat "$STORE" > /dev/null

seconds_of() {
  local start end
  start=$(date +%s.%N)
  bash -c "$1" > /dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
best() { sort -g | head -1; }

fresh() { rm -rf "$OUT"; mkdir -p "$OUT/brindle" "$OUT/undbx"; }

ours=(); theirs=(); scans=()
for ((r = 0; r < RUNS; r++)); do
  fresh; ours+=("$(seconds_of "$CLI recover $STORE $OUT/brindle")")
  fresh; theirs+=("$(seconds_of "undbx -r -v 0 $STORE $OUT/undbx")")
  scans+=("$(seconds_of "$CLI scan $STORE")")
done
OURS=$(printf '%s\n' "${ours[@]}" | median)
THEIRS=$(printf '%s\n' "${theirs[@]}" | median)
SCAN=$(printf '%s\n' "${scans[@]}" | median)
OURS_BEST=$(printf '%s\n' "${ours[@]}" | best)
THEIRS_BEST=$(printf '%s\n' "${theirs[@]}" | best)
SCAN_BEST=$(printf '%s\n' "${scans[@]}" | best)
fresh
"$CLI" recover "$STORE" "$OUT/brindle" | tail -1
undbx -r -v 0 "$STORE" "$OUT/undbx" > /dev/null 2>&1 || true
echo "files: brindle $(find "$OUT/brindle" -type f | wc -l), undbx -r $(find "$OUT/undbx" -type f | wc -l)"
printf 'recover (median): brindle-cli %.3f s, undbx -r %.3f s: %.2fx faster\n' "$OURS" "$THEIRS" "$(echo "$THEIRS / $OURS" | bc -l)"
printf 'recover (best of %d): brindle-cli %.3f s, undbx -r %.3f s: %.2fx faster\n' "$RUNS" "$OURS_BEST" "$THEIRS_BEST" \
  "$(echo "$THEIRS_BEST / $OURS_BEST" | bc -l)"
printf 'scan (median): %.3f s, %.0f MB/s\n' "$SCAN" "$(echo "$SIZE / $SCAN / 1000000" | bc -l)"
printf 'scan (best of %d): %.3f s, %.0f MB/s\n' "$RUNS" "$SCAN_BEST" "$(echo "$SIZE / $SCAN_BEST / 1000000" | bc -l)"
for command in "scan $STORE" "recover $STORE $OUT/brindle"; do
  fresh
  /usr/bin/time -f "peak memory of brindle-cli ${command%% *}: %M KB" "$CLI" $command > /dev/null
done
rm -rf "$OUT"
