#!/bin/bash
# Search benchmark: `brindle-cli search` against `grep -c -i` on the raw bytes of the same
# store, side by side, as whole processes. The store is the benchmark store of bench/store
# made with COUNT messages (6,800 give about 150 MB: 90% 2 KB text mails, 10% mails with a
# 150 KB base64 attachment). Warm cache; hyperfine when installed, else /usr/bin/time.
# Each query is timed; the ratio brindle-cli / grep is printed (the goal is at most 5).
# Both write into a file: grep stops at its first match when its output is /dev/null.
# Figures (Dec 2026, 2 cores, quiet machine, 167 MB store of 6,800 messages in /dev/shm,
# hyperfine medians): nowhere-to-be-found 0.139 s against 0.033 s (4.2x); LAZY DOG (every
# message) 0.193 s against 0.045 s (4.3x); data1234.bin 0.134 s against 0.108 s (1.3x);
# "Benchmark message 6001" 0.136 s against 0.098 s (1.4x). Before the store was opened
# without finding every message's size: 0.19 s, up to 6.0x.
# Usage: bench/search/run.sh [BUILD_DIR] [WORK_DIR] [COUNT] [QUERY...]
# BUILD_DIR holds brindle-cli and bench/store/brindle-make-bench-store (-DBRINDLE_BENCH=ON).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-${TMPDIR:-/tmp}/brindle-bench-search}
COUNT=${3:-6800}
shift $(( $# < 3 ? $# : 3 ))
QUERIES=("$@")
[ ${#QUERIES[@]} -gt 0 ] || QUERIES=("nowhere-to-be-found" "LAZY DOG" "data1234.bin" "Benchmark message 6001")
CLI=$BUILD/cli/brindle-cli
MAKE_STORE=$BUILD/bench/store/brindle-make-bench-store

for tool in "$CLI" "$MAKE_STORE"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON" >&2; exit 1; }
done

mkdir -p "$WORK"
STORE=$WORK/Bench.dbx
if [ ! -f "$STORE" ]; then
  echo "Generating $COUNT messages in $WORK ..."
  "$MAKE_STORE" "$WORK" "$COUNT"
fi
ls -l "$STORE" | awk '{print "  " $5 " bytes  " $9}'
cat "$STORE" > /dev/null   # warm the page cache
echo "  $(nproc) cores"

# Median wall time in seconds of a shell command over 5 runs (after one warm-up).
seconds_of() {
  local times=() start end
  bash -c "$1" > /dev/null
  for _ in 1 2 3 4 5; do
    start=$(date +%s.%N)
    bash -c "$1" > "$WORK/out.txt"
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f\n", b - a}')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk 'NR == 3'
}

for query in "${QUERIES[@]}"; do
  echo
  echo "Query: $query"
  q=$(printf '%q' "$query")
  hits=$("$CLI" search "$STORE" "$query" | wc -l)
  lines=$(grep -c -i -- "$query" "$STORE" || true)
  echo "  brindle-cli search: $hits messages; grep -c -i: $lines lines"
  if command -v hyperfine > /dev/null; then
    hyperfine --warmup 1 --runs 5 --export-json "$WORK/search.json" \
      -n "brindle-cli search" "$CLI search $STORE $q > $WORK/out.txt" \
      -n "grep -c -i" "grep -c -i -- $q $STORE > $WORK/out.txt || true"
    t_cli=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['results'][0]['median'])" "$WORK/search.json")
    t_grep=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['results'][1]['median'])" "$WORK/search.json")
  else
    t_cli=$(seconds_of "$CLI search $STORE $q")
    t_grep=$(seconds_of "grep -c -i -- $q $STORE || true")
  fi
  awk -v c="$t_cli" -v g="$t_grep" 'BEGIN {printf "  brindle-cli search %.3f s, grep -c -i %.3f s: ratio %.2f\n", c, g, c / g}'
done
