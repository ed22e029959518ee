#!/bin/bash
# Hostile-store benchmarks:
#   - brindle-cli export --format maildir of a folder list of 100,000 folders (the "flat"
#     store folder of brindle-make-hostile-stores): time, hyperfine;
#   - brindle-cli scan, list, search and export of a .mbx of 3,000,000 one-byte records and no
#     index (51 MB): elapsed, CPU and peak resident memory from /usr/bin/time -v.
# Figures (Dec 2026, RelWithDebInfo, /dev/shm, 2 cores shared with other builds at load 8-10):
#   export --format maildir, 100,000 folders: 3.79 s -> 2.48 s (hyperfine, 3 runs; 0.7 s user,
#   3.2 s system: mkdir of 400,000 folders, now side by side), peak RSS 58 MB.
#   3,000,000 records, 51 MB, elapsed / user / system / peak RSS, before -> after packing:
#     scan    6.5 s 2.19 u 0.95 s, 764 MB -> 4.7 s 2.23 u 0.12 s, 121 MB
#     list    5.0 s 1.90 u 0.55 s, 434 MB -> 4.3 s 2.10 u 0.15 s, 134 MB
#     search  1.8 s 0.58 u 0.60 s, 465 MB -> 1.7 s 0.67 u 0.15 s, 136 MB
#     export --format mbox 10.2 s 4.06 u 0.66 s, 484 MB -> 8.1 s 3.51 u 0.30 s, 145 MB
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
measure "export --format mbox" "$CLI" export "$TINY" "$OUT" --format mbox
rm -rf "$OUT"
# 3,000,000 files of their own: a minute or more.
measure "export (eml)" "$CLI" export "$TINY" "$OUT"
rm -rf "$OUT"
