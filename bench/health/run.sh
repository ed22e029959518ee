#!/bin/bash
# Health report and duplicates benchmarks:
#   - brindle-cli check and duplicates on the 20,000-message bench store folder (see
#     bench/folders), with a backup copy of one store beside the others;
#   - brindle-cli export --format mbox with and without --skip-duplicates on that folder;
#   - brindle-cli check against scan on the 30,000-message rescue bench store (bench/rescue).
# Warm cache; hyperfine with warm-up runs.
# Figures (11 Dec 2026, 2 cores otherwise idle, RelWithDebInfo, /dev/shm; the folder holds
# 20,500 messages with one store copied):
#   hyperfine, 30 runs: check 77 ms mean, duplicates 39 ms (both well under 1 s); export
#   --format mbox 60 ms, with --skip-duplicates 65 ms (1.09x), =message-id 63 ms (1.05x);
#   rescue store (30,000 messages, 132 MB): check 141 ms, scan 144 ms.
#   Interleaved whole-process runs (medians; hyperfine's means drift with the machine between
#   one command's runs and the next's), 200 rounds: export --format mbox 51.0 ms, with
#   --skip-duplicates 57.4 ms (1.13x; CPU time 1.19x), =message-id 58.3 ms (1.14x); 60.7 ms
#   (1.19x) while folders read ahead of their turn held their texts instead of writing them and
#   taking their copies out again. Maildir (30 rounds) 139 ms against 145 ms (1.04x), .eml (30)
#   260 ms against 277 ms (1.07x). The Poly1305 digest of every text alone is some 11% of the
#   plain export's CPU time (9 ms of 83 ms); the rest is the first-copy table (a memory fetch a
#   new key) and the copies written ahead and taken out again.
#   With LARGE=1, 40 folders of 2,500 messages (266 MB, two stores copied), interleaved, 20
#   rounds: 1.15x, peak memory 37 MB (1.24x and 59 MB while folders read ahead held their
#   texts; 1.66x-1.78x while a folder held at most 2 MB and then waited).
# Usage: [LARGE=1] bench/health/run.sh [BUILD_DIR] [WORK_DIR] [RUNS]
# BUILD_DIR is a build with -DBRINDLE_BENCH=ON (default build-bench, as `make bench` makes it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-$( [ -d /dev/shm ] && echo /dev/shm/brindle-bench-health || echo "${TMPDIR:-/tmp}/brindle-bench-health")}
RUNS=${3:-10}
CLI=$BUILD/cli/brindle-cli
MAKE_FOLDER=$BUILD/bench/folders/brindle-make-bench-folder
MAKE_STORE=$BUILD/bench/rescue/brindle-make-rescue-store

for tool in "$CLI" "$MAKE_FOLDER" "$MAKE_STORE"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (apt-get install hyperfine)" >&2; exit 1; }

STORES=$WORK/stores
OUT=$WORK/out
if [ ! -f "$STORES/Folders.dbx" ]; then
  rm -rf "$STORES" && mkdir -p "$STORES"
  "$MAKE_FOLDER" "$STORES" 500
  cp "$STORES/Folder 3.dbx" "$STORES/Folder 3(1).dbx"
fi
[ -f "$WORK/Rescue.dbx" ] || "$MAKE_STORE" "$WORK"
cat "$STORES"/* "$WORK/Rescue.dbx" > /dev/null

echo "== check and duplicates of the store folder ($(du -sh "$STORES" | cut -f1))"
# check exits with 1 here: the backup copy is a stray file and its messages are copies.
hyperfine --warmup 2 --runs "$RUNS" -N -i \
  -n "brindle-cli check" "$CLI check $STORES" \
  -n "brindle-cli duplicates" "$CLI duplicates $STORES"

echo
echo "== export with and without --skip-duplicates"
hyperfine --warmup 1 --runs "$RUNS" \
  --prepare "rm -rf $OUT && mkdir -p $OUT" \
  -n "export --format mbox" "$CLI export $STORES $OUT/x --format mbox > /dev/null" \
  -n "export --format mbox --skip-duplicates" "$CLI export $STORES $OUT/x --format mbox --skip-duplicates > /dev/null" \
  -n "export --format mbox --skip-duplicates=message-id" \
     "$CLI export $STORES $OUT/x --format mbox --skip-duplicates=message-id > /dev/null"

if [ "${LARGE:-0}" = 1 ]; then
  LARGE_STORES=$WORK/large-stores
  if [ ! -f "$LARGE_STORES/Folders.dbx" ]; then
    mkdir -p "$LARGE_STORES" && "$MAKE_FOLDER" "$LARGE_STORES" 2500
    cp "$LARGE_STORES/Folder 3.dbx" "$LARGE_STORES/Folder 3(1).dbx"
    cp "$LARGE_STORES/Folder 7.dbx" "$LARGE_STORES/Folder 7(1).dbx"
  fi
  cat "$LARGE_STORES"/* > /dev/null
  echo
  echo "== export with and without --skip-duplicates, 40 folders of 2,500 messages ($(du -sh "$LARGE_STORES" | cut -f1))"
  hyperfine --warmup 1 --runs "$RUNS" \
    --prepare "rm -rf $OUT && mkdir -p $OUT" \
    -n "export --format mbox" "$CLI export $LARGE_STORES $OUT/x --format mbox > /dev/null" \
    -n "export --format mbox --skip-duplicates" "$CLI export $LARGE_STORES $OUT/x --format mbox --skip-duplicates > /dev/null"
fi

echo
echo "== check against scan on the rescue store ($(stat -c %s "$WORK/Rescue.dbx") bytes)"
hyperfine --warmup 2 --runs "$RUNS" -N -i \
  -n "brindle-cli scan" "$CLI scan $WORK/Rescue.dbx" \
  -n "brindle-cli check" "$CLI check $WORK/Rescue.dbx"
rm -rf "$OUT"
