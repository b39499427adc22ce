#!/usr/bin/env bash
# The mail merge killed at random and rerun until done, against a private postfix
# on loopback (scripts/postfix-instance.sh, as root):
#
#   scripts/kill-mail.sh [CLI]     (default build/mirelune-cli; KILL_ROWS=200, KILL_JOBS=2, KILL_SEED)
#
# Runs the list once uninterrupted, then in a fresh folder kills each run (SIGKILL,
# from outside) 0.05-0.8 s after its start and reruns it until one ends by itself.
# Prints the kills, lost messages, second copies (each under its first copy's
# Message-ID?) and both wall times. Exits 1 when a message is lost, 77 without postfix.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build/mirelune-cli}")
rows=${KILL_ROWS:-200} jobs=${KILL_JOBS:-2}
RANDOM=${KILL_SEED:-2017}
tmp=$(mktemp -d /tmp/mirelune-kill-mail-XXXXXX)
chmod 755 "$tmp"  # postfix's own user reaches its folders through it
trap 'scripts/postfix-instance.sh stop "$tmp/pf" >/dev/null 2>&1; rm -rf "$tmp"' EXIT
port=$(scripts/postfix-instance.sh start "$tmp/pf") || exit $?
export MIRELUNE_SMTP_URL=smtp://127.0.0.1:$port MIRELUNE_MAIL_FROM=bench@example.org
for kind in plain killed; do
  mkdir "$tmp/$kind"
  { echo "friend,sender,email,message"; for r in $(seq 0 $((rows - 1))); do echo "F$r,Bob,$kind$r@x.org,hi $r"; done; } >"$tmp/$kind/list.csv"
done
count() {  # the killed merge's messages once the queue is empty: "messages distinct-Message-IDs addresses"
  for _ in $(seq 600); do [ -z "$(find "$tmp/pf/queue/incoming" "$tmp/pf/queue/active" -type f)" ] && break; sleep 0.1; done
  python3 - "$tmp/pf/mail/box/new" <<'PY'
import email, pathlib, sys
heads = [email.message_from_bytes(f.read_bytes()) for f in pathlib.Path(sys.argv[1]).iterdir()]
heads = [m for m in heads if m["To"].startswith("killed")]
pairs = {(m["To"], m["Message-ID"]) for m in heads}
print(len(heads), len(pairs), len({m["To"] for m in heads}))
PY
}
now() { date +%s.%N; }
start=$(now)
(cd "$tmp/plain" && exec "$cli" batch list.csv --out-dir out --jobs "$jobs" --mail >/dev/null 2>err)
plain=$(echo "$(now) - $start" | bc)
kills=0
start=$(now)
while :; do
  wait_s=$(printf '0.%03d' $((50 + RANDOM % 751)))
  set +e
  (cd "$tmp/killed" && exec timeout -s KILL "$wait_s" "$cli" batch list.csv --out-dir out --jobs "$jobs" --mail >/dev/null 2>>err)
  status=$?
  set -e
  [ "$status" -eq 137 ] || break
  kills=$((kills + 1))
done
killed=$(echo "$(now) - $start" | bc)
read -r all ids addresses < <(count)
copies=$((all - rows))
lost=$((rows - addresses))
[ "$status" -eq 0 ] || echo "kill-mail: the last run ended with status $status" >&2
echo "rows $rows, jobs $jobs: $kills kills, $lost lost, $copies second copies ($((ids - addresses)) under a Message-ID of their own)"
echo "wall time: $plain s uninterrupted, $killed s killed and rerun ($(echo "scale=2; $killed / $plain" | bc) times)"
[ "$lost" -eq 0 ] && [ "$status" -eq 0 ]
