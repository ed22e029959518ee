#!/bin/bash
# Upload benchmark, side by side in one run: the generated bench store folder (40 .dbx stores,
# PER_FOLDER messages each, default 500: 20,000 messages) into a fresh account on a local
# Dovecot (the test fixture's server, 127.0.0.1 only), by
#   - brindle-cli upload of the store folder, and
#   - isync's mbsync pushing Brindle's Maildir export of the same folder (Sync Push, Create Far,
#     CopyArrivalDate, default pipelining),
# both over STARTTLS to the same server, with the server's certificate accepted. Before every
# run the account's Maildir, Brindle's upload journal and mbsync's state are removed, and
# mbsync gets a fresh copy of the export (it renames the files it has sent).
# Wall time and peak memory through /usr/bin/time, the runs of the two alternating; the
# messages the server holds afterwards are counted for both.
# Figures (Dec 2026, 2 cores, stores on /dev/shm, the server's mail on disk; 20,000 messages):
# brindle-cli 16.6 s, 28 MB peak, against mbsync 273 s and 408 s (two runs), 10 MB peak: 16x.
# The server's time goes mostly into writing each transaction safely to disk, so the
# figures depend on the disk; one APPEND per batch (MULTIAPPEND) makes one transaction of 64
# messages. Before it, with the APPENDs pipelined one by one: brindle-cli 55 s (4.9x).
# Usage: bench/upload/run.sh [BUILD_DIR] [WORK_DIR] [RUNS] [PER_FOLDER]
# BUILD_DIR is a build with -DBRINDLE_BENCH=ON (default build-bench, as `make bench` makes it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-${TMPDIR:-/tmp}/brindle-bench-upload}
RUNS=${3:-1}
PER_FOLDER=${4:-500}
CLI=$BUILD/cli/brindle-cli
MAKE_FOLDER=$BUILD/bench/folders/brindle-make-bench-folder
DOVECOT=$BUILD/bench/upload/brindle-bench-dovecot

for tool in "$CLI" "$MAKE_FOLDER" "$DOVECOT"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DBRINDLE_BENCH=ON (make bench)" >&2; exit 1; }
done
for tool in mbsync dovecot; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install isync dovecot-imapd)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }

mkdir -p "$WORK"
STORES=$WORK/stores-$PER_FOLDER
EXPORT=$WORK/maildir-$PER_FOLDER
if [ ! -f "$STORES/Folders.dbx" ]; then
  echo "Generating the store folder in $STORES ..."
  rm -rf "$STORES" && mkdir -p "$STORES"
  "$MAKE_FOLDER" "$STORES" "$PER_FOLDER"
fi
rm -rf "$EXPORT" && mkdir -p "$EXPORT"
"$CLI" export "$STORES" "$EXPORT" --format maildir > /dev/null
# mbsync leaves out near folders named INBOX (.INBOX.Sub, where the export keeps the inbox's
# sub-folders): they go under the inbox's own name instead, the same messages all the same.
for dir in "$EXPORT"/.INBOX.*; do
  [ -d "$dir" ] && mv "$dir" "$EXPORT/.Inbox folders.${dir#"$EXPORT"/.INBOX.}"
done
echo "$(ls "$STORES" | wc -l) store files in $STORES; Maildir export in $EXPORT"

# The server runs until its standard input closes.
CONTROL=$WORK/control
rm -f "$CONTROL" && mkfifo "$CONTROL"
"$DOVECOT" < "$CONTROL" > "$WORK/server.txt" &
SERVER_PID=$!
exec 3> "$CONTROL"
stop_server() { exec 3>&-; wait "$SERVER_PID" 2>/dev/null || true; rm -f "$CONTROL"; }
trap stop_server EXIT
for _ in $(seq 100); do [ -s "$WORK/server.txt" ] && break; sleep 0.1; done
read -r PORT FINGERPRINT CERTIFICATE MAILDIR < "$WORK/server.txt"
echo "Dovecot on 127.0.0.1:$PORT, mail in $MAILDIR"

export XDG_STATE_HOME=$WORK/state
export BRINDLE_IMAP_PASSWORD=wonderland
NEAR=$WORK/near
cat > "$WORK/mbsyncrc" <<EOF
IMAPAccount bench
Host localhost
Port $PORT
User alice
Pass wonderland
SSLType STARTTLS
CertificateFile $CERTIFICATE

IMAPStore far
Account bench

MaildirStore near
Inbox $NEAR
SubFolders Maildir++

Channel push
Far :far:
Near :near:
Patterns * !Sent !Trash !Drafts !Junk !Archive
Create Far
Sync Push
CopyArrivalDate yes
Expunge None
SyncState $WORK/mbsync-state/
EOF

FRESH="rm -rf $MAILDIR/* $MAILDIR/.[!.]* $XDG_STATE_HOME $WORK/mbsync-state $NEAR && mkdir -p $WORK/mbsync-state && cp -r $EXPORT $NEAR"
BRINDLE_RUN="$CLI upload $STORES imap://alice@127.0.0.1:$PORT --certificate-fingerprint $FINGERPRINT"
MBSYNC_RUN="mbsync -q -c $WORK/mbsyncrc push"

count_on_server() {
  find "$MAILDIR" \( -path '*/cur/*' -o -path '*/new/*' \) -type f | grep -c . || true
}

# One line per run: wall time and peak memory (/usr/bin/time), and what the server holds after.
measure() {
  local name=$1 run=$2; shift 2
  bash -c "$FRESH"
  /usr/bin/time -o "$WORK/time.txt" -f "%e %M" "$@" > /dev/null || echo "  $name failed (exit status $?)"
  read -r seconds kilobytes < <(tail -1 "$WORK/time.txt")
  printf '  %-38s run %d: %7.2f s wall, %6d KB peak, %d messages on the server\n' \
    "$name" "$run" "$seconds" "$kilobytes" "$(count_on_server)"
}

echo
echo "== upload into a fresh account, $RUNS run(s) each, side by side"
for run in $(seq "$RUNS"); do
  measure "brindle-cli upload" "$run" $BRINDLE_RUN
  measure "mbsync (push of the Maildir export)" "$run" $MBSYNC_RUN
done
