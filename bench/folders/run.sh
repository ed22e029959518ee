#!/bin/bash
# Store folder benchmarks, side by side, on a generated store folder of 40 .dbx stores under a
# folder list (Folders.dbx), PER_FOLDER messages of about 2 KB each (default 500: 20,000
# messages, 55 MB):
#   - brindle-cli folders (tree, with --json) against ls -l of the same folder;
#   - brindle-cli export --format mbox of the whole folder against undbx extracting the same
#     folder into .eml files and against cp -r of it.
# Warm cache; hyperfine with warm-up runs; every export run writes into an emptied folder.
# Figures of the mbox export (Dec 2026, 2 cores, /dev/shm; hyperfine, 10 runs side by side):
# brindle-cli 48 ms mean (35 ms user + 38 ms sys on two threads) against undbx 1.47 s: 31x
# faster; cp -r of the folder 40 ms: 1.2x of cp -r; peak memory 10 MB. Before: 118-130 ms,
# 3-4x of cp -r, each store being mapped and every page of it mapped twice (once for the
# message sizes at opening, again for the texts), and the folder's code page read from four
# mapped stores (7 of the 8 ms that the tree took). On this virtual machine mapping a page
# costs as much as reading several KiB: stores up to 16 MiB are now read into a buffer that
# each thread keeps.
# Usage: bench/folders/run.sh [BUILD_DIR] [WORK_DIR] [RUNS] [PER_FOLDER]
# BUILD_DIR is a build with -DBRINDLE_BENCH=ON (default build-bench, as `make bench` makes it).
# WORK_DIR on /dev/shm keeps the disk's costs out of the comparison.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-${TMPDIR:-/tmp}/brindle-bench-folders}
RUNS=${3:-10}
PER_FOLDER=${4:-500}
CLI=$BUILD/cli/brindle-cli
MAKE_FOLDER=$BUILD/bench/folders/brindle-make-bench-folder

for tool in "$CLI" "$MAKE_FOLDER"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
for tool in hyperfine undbx; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install $tool)" >&2; exit 1; }
done

STORES=$WORK/stores
OUT=$WORK/out
if [ ! -f "$STORES/Folders.dbx" ]; then
  echo "Generating the store folder in $STORES ..."
  rm -rf "$STORES"
  mkdir -p "$STORES"
  "$MAKE_FOLDER" "$STORES" "$PER_FOLDER"
fi
echo "$(ls "$STORES" | wc -l) files, $(du -sh "$STORES" | cut -f1) in $STORES"
cat "$STORES"/* > /dev/null   # warm the page cache

echo
echo "== folders: the tree from the folder list and the store headers"
hyperfine --warmup 3 --runs "$RUNS" -N \
  -n "brindle-cli folders" "$CLI folders $STORES" \
  -n "brindle-cli folders --json" "$CLI folders $STORES --json" \
  -n "ls -l" "ls -l $STORES"

echo
echo "== export of the whole folder"
hyperfine --warmup 1 --runs "$RUNS" \
  --prepare "rm -rf $OUT && mkdir -p $OUT && sync" \
  -n "brindle-cli export --format mbox" "$CLI export $STORES $OUT --format mbox > /dev/null" \
  -n "brindle-cli export --format maildir" "$CLI export $STORES $OUT --format maildir > /dev/null" \
  -n "brindle-cli export (eml tree)" "$CLI export $STORES $OUT > /dev/null" \
  -n "undbx (eml files)" "undbx $STORES $OUT > /dev/null" \
  -n "cp -r" "cp -r $STORES $OUT/copy"

echo
echo "== peak memory of the mbox export"
rm -rf "$OUT" && mkdir -p "$OUT"
/usr/bin/time -f "  %M KB maximum resident, %e s" "$CLI" export "$STORES" "$OUT" --format mbox
rm -rf "$OUT"
