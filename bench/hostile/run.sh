#!/bin/bash
# Hostile-store benchmarks:
#   - brindle-cli export --format maildir of a folder list of 100,000 folders (the "flat"
#     store folder of brindle-make-hostile-stores): time, hyperfine;
#   - brindle-cli scan, list, search and export of a .mbx of 3,000,000 one-byte records and no
#     index (51 MB): elapsed, CPU and peak resident memory from /usr/bin/time -v.
# Figures: see the commit messages that changed them.
# Usage: bench/hostile/run.sh [BUILD_DIR] [WORK_DIR] [RUNS]
# BUILD_DIR is a build with -DBRINDLE_BENCH=ON (default build-bench, as `make bench` makes it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-$( [ -d /dev/shm ] && echo /dev/shm/brindle-bench-hostile || echo "${TMPDIR:-/tmp}/brindle-bench-hostile")}
RUNS=${3:-5}
CLI=$BUILD/cli/brindle-cli
MAKE=$BUILD/bench/hostile/brindle-make-hostile-stores

for tool in "$CLI" "$MAKE"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (apt-get install hyperfine)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }

mkdir -p "$WORK"
FLAT=$WORK/flat
TINY=$WORK/tiny.mbx
OUT=$WORK/out
[ -f "$FLAT/Folders.dbx" ] || { mkdir -p "$FLAT" && "$MAKE" flat 100000 "$FLAT"; }
[ -f "$TINY" ] || "$MAKE" tinymbx 3000000 "$TINY"

# Elapsed, user and system seconds and peak resident kilobytes of one run.
measure() {
  local label=$1
  shift
  /usr/bin/time -v "$@" >/dev/null 2>"$WORK/time.txt" || true
  awk -v label="$label" '
    /Elapsed \(wall clock\)/ { elapsed = $NF }
    /User time/ { user = $NF }
    /System time/ { sys = $NF }
    /Maximum resident set size/ { rss = $NF }
    END { printf "%-28s elapsed %s  user %s s  sys %s s  peak RSS %.0f MB\n", label, elapsed, user, sys, rss / 1024 }
  ' "$WORK/time.txt"
}

echo "== export --format maildir, 100,000 folders"
rm -rf "$OUT"
measure "export maildir" "$CLI" export "$FLAT" "$OUT" --format maildir
hyperfine -N --runs "$RUNS" --prepare "rm -rf $OUT" "$CLI export $FLAT $OUT --format maildir"
rm -rf "$OUT"
measure "export mbox" "$CLI" export "$FLAT" "$OUT" --format mbox
rm -rf "$OUT"

echo "== 3,000,000 records of one byte ($(stat -c %s "$TINY") bytes)"
measure "scan" "$CLI" scan "$TINY"
measure "list" "$CLI" list "$TINY"
measure "search" "$CLI" search "$TINY" needle
mkdir -p "$OUT"
measure "export (eml)" "$CLI" export "$TINY" "$OUT/eml"
rm -rf "$OUT"
