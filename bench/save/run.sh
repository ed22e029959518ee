#!/bin/bash
# Saving attachments whose long names all meet after the cut to 255 bytes: brindle-cli
# attachments on one message with COUNT such attachments, into an empty folder, as a whole
# process (/usr/bin/time: wall and CPU time, peak memory). Warm cache; one run per count.
# Usage: bench/save/run.sh [CLI] [WORK_DIR] [COUNT...]
# CLI defaults to build/cli/brindle-cli; give another build's binary to compare. A run that
# takes longer than 120 s is stopped and reported as such. A WORK_DIR under /dev/shm keeps the
# disk out of the figures; user time is steadier than wall time on a busy machine.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
CLI=${1:-$ROOT/build/cli/brindle-cli}
WORK=${2:-${TMPDIR:-/tmp}/brindle-bench-save}
shift $(( $# > 2 ? 2 : $# ))
COUNTS=("${@:-5000 20000}")
[ -x "$CLI" ] || { echo "missing $CLI" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }

mkdir -p "$WORK"
for count in ${COUNTS[@]}; do
  message=$WORK/colliding-$count.eml
  [ -f "$message" ] || python3 "$(dirname "$0")/make_colliding_message.py" "$count" "$message"
  out=$WORK/out-$count
  rm -rf "$out" && mkdir -p "$out"
  if timeout 120 /usr/bin/time -f "%e s wall, %U s user, %S s sys, %M KB" -o "$WORK/time-$count" "$CLI" attachments "$message" "$out" >/dev/null; then
    echo "$count names: $(cat "$WORK/time-$count"), $(ls "$out" | wc -l) files"
  else
    echo "$count names: stopped after 120 s (or failed)"
  fi
done
