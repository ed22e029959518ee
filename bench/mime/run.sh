#!/bin/bash
# Parse throughput and peak memory of the message object, side by side in one run with
# GMime 3 and Python's email package, on the real messages of the corpus and on a generated
# 20 MB message with a base64 attachment. Every program parses the message, decodes subject
# and sender, takes text parts as text and decodes every attachment.
# The programs take turns, RUNS rounds (default 5); each figure is the best of its rounds, so
# that load from other processes weighs on all three alike.
# Then whole processes, side by side: `brindle-cli show FILE --json` and gmime_show (GMime 3
# parsing the file and decoding every part) on generated messages: a 28.7 MB one with a 20 MiB
# base64 attachment, and 10 MB ones of empty LF lines, of "a" LF lines and of "a" lone-CR lines;
# wall time and peak resident memory (/usr/bin/time), best of RUNS rounds each.
# Usage: bench/mime/run.sh [BUILD_DIR] [CORPUS_DIR] [RUNS]
# BUILD_DIR is a build with -DBRINDLE_BENCH=ON (default build-bench, as `make bench` makes it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
CORPUS=${2:-$ROOT/../shared/corpus/eml}
RUNS=${3:-5}
OURS=$BUILD/bench/mime/mime_bench
GMIME=$BUILD/bench/mime/gmime_bench
CLI=$BUILD/cli/brindle-cli
GMIME_SHOW=$BUILD/bench/mime/gmime_show
PYTHON="/usr/bin/python3 $ROOT/bench/mime/python_bench.py"
CORPUS_REPEAT=20
BIG_REPEAT=3

for tool in "$OURS" "$GMIME" "$CLI" "$GMIME_SHOW"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
[ -x /usr/bin/python3 ] || { echo "/usr/bin/python3 is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }
[ -d "$CORPUS" ] || { echo "no corpus folder $CORPUS" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
BIG=$WORK/big.eml
/usr/bin/python3 "$ROOT/bench/mime/make_big_message.py" "$BIG"
BIG_BYTES=$(stat -c %s "$BIG")
mapfile -t FILES < <(find "$CORPUS" -type f | sort)
cat "${FILES[@]}" "$BIG" > /dev/null

# MB/s of one "seconds=... bytes=..." line.
rate() { sed -E 's/seconds=([0-9.]+) bytes=([0-9]+).*/\2 \1/' | awk '{ printf "%.1f", $1 / 1048576 / $2 }'; }
# Peak resident set size in KB of a command.
peak_kb() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }'; }

# The larger of two numbers.
max() { awk -v a="${1:-0}" -v b="$2" 'BEGIN { print (b + 0 > a + 0) ? b : a }'; }
# The smaller of two numbers (the first may be empty).
min() { if [ -z "$1" ]; then echo "$2"; else awk -v a="$1" -v b="$2" 'BEGIN { print (b + 0 < a + 0) ? b : a }'; fi; }

command_of() {
  case $1 in
    brindle) echo "$OURS" ;;
    gmime) echo "$GMIME" ;;
    python) echo "$PYTHON" ;;
  esac
}

declare -A CORPUS_RATE BIG_RATE PEAK
for ((run = 1; run <= RUNS; run++)); do
  echo "round $run of $RUNS" >&2
  for name in brindle gmime python; do
    read -r -a cmd <<< "$(command_of $name)"
    CORPUS_RATE[$name]=$(max "${CORPUS_RATE[$name]:-}" "$("${cmd[@]}" $CORPUS_REPEAT "${FILES[@]}" | rate)")
    BIG_RATE[$name]=$(max "${BIG_RATE[$name]:-}" "$("${cmd[@]}" $BIG_REPEAT "$BIG" | rate)")
    PEAK[$name]=$(min "${PEAK[$name]:-}" "$(peak_kb "${cmd[@]}" 1 "$BIG")")
  done
done

printf '\n%d corpus messages (x%d), and one message of %.1f MB (x%d); peak memory on the 20 MB message;\nbest of %d rounds\n\n' \
  "${#FILES[@]}" $CORPUS_REPEAT "$(awk -v b="$BIG_BYTES" 'BEGIN { print b / 1048576 }')" $BIG_REPEAT "$RUNS"
printf '%-8s %14s %9s %14s %9s %12s %12s\n' program "corpus MB/s" "ours/this" "20 MB MB/s" "ours/this" "peak MB" "peak/size"
for name in brindle gmime python; do
  printf '%-8s %14s %9s %14s %9s %12s %12s\n' "$name" \
    "${CORPUS_RATE[$name]}" "$(awk -v a="${CORPUS_RATE[brindle]}" -v b="${CORPUS_RATE[$name]}" 'BEGIN { printf "%.2fx", a / b }')" \
    "${BIG_RATE[$name]}" "$(awk -v a="${BIG_RATE[brindle]}" -v b="${BIG_RATE[$name]}" 'BEGIN { printf "%.2fx", a / b }')" \
    "$(awk -v k="${PEAK[$name]}" 'BEGIN { printf "%.1f", k / 1024 }')" \
    "$(awk -v k="${PEAK[$name]}" -v b="$BIG_BYTES" 'BEGIN { printf "%.2f", k * 1024 / b }')"
done
echo
echo "ours/this: our throughput divided by this program's (above 1: ours is faster). peak/size: peak"
echo "resident memory divided by the size of the 20 MB message."

# Whole processes on the generated shapes.
SHAPES="attachment20 empty-lf short-lf lone-cr"
for shape in $SHAPES; do /usr/bin/python3 "$ROOT/bench/mime/make_big_message.py" "$WORK/$shape.eml" "$shape"; done
# "seconds peak_kb" of one run of a command.
process_run() { /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -1; }
declare -A WALL RSS
for ((run = 1; run <= RUNS; run++)); do
  echo "process round $run of $RUNS" >&2
  for shape in $SHAPES; do
    for name in brindle gmime; do
      if [ $name = brindle ]; then
        read -r secs kb <<< "$(process_run "$CLI" show "$WORK/$shape.eml" --json)"
      else
        read -r secs kb <<< "$(process_run "$GMIME_SHOW" "$WORK/$shape.eml")"
      fi
      WALL[$shape.$name]=$(min "${WALL[$shape.$name]:-}" "$secs")
      RSS[$shape.$name]=$(min "${RSS[$shape.$name]:-}" "$kb")
    done
  done
done

printf '\nWhole processes: brindle-cli show FILE --json and gmime_show FILE; best of %d rounds\n\n' "$RUNS"
printf '%-13s %9s %8s %9s %9s %8s %9s %12s\n' message "size MB" "ours s" "ours MB" "ours/size" "gmime s" "gmime MB" "gmime/ours"
for shape in $SHAPES; do
  bytes=$(stat -c %s "$WORK/$shape.eml")
  printf '%-13s %9.1f %8s %9.1f %9.2f %8s %9.1f %11.2fx\n' "$shape" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" \
    "${WALL[$shape.brindle]}" "$(awk -v k="${RSS[$shape.brindle]}" 'BEGIN { print k / 1024 }')" \
    "$(awk -v k="${RSS[$shape.brindle]}" -v b="$bytes" 'BEGIN { print k * 1024 / b }')" \
    "${WALL[$shape.gmime]}" "$(awk -v k="${RSS[$shape.gmime]}" 'BEGIN { print k / 1024 }')" \
    "$(awk -v a="${WALL[$shape.brindle]}" -v b="${WALL[$shape.gmime]}" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')"
done
echo
echo "gmime/ours: GMime's time divided by ours (above 1: ours is faster). ours/size: our peak"
echo "resident memory divided by the message's size."
