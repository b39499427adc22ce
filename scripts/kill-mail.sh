#!/usr/bin/env bash
# The mail merge killed at random and rerun until done, against a private postfix
# on loopback (scripts/postfix-instance.sh, as root) and against the Python test
# server (tests/smtp_server.py, on /usr/bin/python3 with aiosmtpd):
#
#   scripts/kill-mail.sh [CLI]     (default build/mirelune-cli; KILL_ROWS=200, KILL_JOBS=2, KILL_SEED,
#                                   KILL_SERVERS="postfix python", KILL_KEEP=1 keeps its folder to look into)
#
# For each server: runs the list once uninterrupted, then in a fresh folder kills
# each run (SIGKILL, from outside, waiting for its last thread) 0.05-0.8 s after its
# start and reruns it until one ends by itself. Prints the kills, lost messages,
# second copies (each under its first copy's Message-ID?) and both wall times.
# Exits 1 when a message is lost, more than one second copy comes per 5 kills or the
# killed merge takes over 1.5 times the uninterrupted one; a server that cannot
# start is skipped with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build/mirelune-cli}")
rows=${KILL_ROWS:-200} jobs=${KILL_JOBS:-2}
RANDOM=${KILL_SEED:-2017}
tmp=$(mktemp -d /tmp/mirelune-kill-mail-XXXXXX)
chmod 755 "$tmp"  # postfix's own user reaches its folders through it
python_pid=
trap 'scripts/postfix-instance.sh stop "$tmp/pf" >/dev/null 2>&1; [ -z "$python_pid" ] || kill "$python_pid" 2>/dev/null; [ -n "${KILL_KEEP:-}" ] || rm -rf "$tmp"' EXIT
export MIRELUNE_MAIL_FROM=bench@example.org
now() { date +%s.%N; }

# The killed merge's messages once `wait_queue` says the server is done: "messages distinct-Message-IDs addresses".
count() {  # DIR GLOB
  python3 - "$1" "$2" <<'PY'
import email, pathlib, sys
heads = [email.message_from_bytes(f.read_bytes()) for f in pathlib.Path(sys.argv[1]).glob(sys.argv[2])]
heads = [m for m in heads if (m["To"] or "").startswith("killed")]
print(len(heads), len({(m["To"], m["Message-ID"]) for m in heads}), len({m["To"] for m in heads}))
PY
}

bad=0
# kill_test NAME URL DIR GLOB WAIT_COMMAND: the messages arrive as DIR/GLOB once WAIT_COMMAND is done
kill_test() {
  local name=$1 url=$2 box=$3 glob=$4 settle=$5 dir=$tmp/$1 kills=0 status start plain killed all ids addresses
  for kind in plain killed; do
    mkdir -p "$dir/$kind"
    { echo "friend,sender,email,message"; for r in $(seq 0 $((rows - 1))); do echo "F$r,Bob,$kind$r@x.org,hi $r"; done; } >"$dir/$kind/list.csv"
  done
  export MIRELUNE_SMTP_URL=$url
  start=$(now)
  (cd "$dir/plain" && exec "$cli" batch list.csv --out-dir out --jobs "$jobs" --mail >/dev/null 2>err)
  plain=$(echo "$(now) - $start" | bc)
  start=$(now)
  while :; do
    set +e
    (cd "$dir/killed" && exec timeout --foreground -s KILL "$(printf '0.%03d' $((50 + RANDOM % 751)))" \
       "$cli" batch list.csv --out-dir out --jobs "$jobs" --mail >/dev/null 2>>err)
    status=$?
    set -e
    [ "$status" -eq 137 ] || break
    kills=$((kills + 1))
  done
  killed=$(echo "$(now) - $start" | bc)
  eval "$settle"
  read -r all ids addresses < <(count "$box" "$glob")
  [ "$status" -eq 0 ] || { echo "kill-mail: $name: the last run ended with status $status" >&2; bad=1; }
  echo "$name: rows $rows, jobs $jobs: $kills kills, $((rows - addresses)) lost, $((all - rows)) second copies" \
       "($((ids - addresses)) under a Message-ID of their own)"
  echo "$name: wall time: $plain s uninterrupted, $killed s killed and rerun ($(echo "scale=2; $killed / $plain" | bc) times)"
  if [ "$addresses" -ne "$rows" ] || [ $((5 * (all - rows))) -gt "$kills" ] || [ "$(echo "$killed > 1.5 * $plain" | bc)" -eq 1 ]; then
    bad=1
  fi
}

for server in ${KILL_SERVERS:-postfix python}; do
  case $server in
    postfix)
      if port=$(scripts/postfix-instance.sh start "$tmp/pf" 2>"$tmp/pf.why"); then
        kill_test postfix "smtp://127.0.0.1:$port" "$tmp/pf/mail/box/new" '*' \
          'for _ in $(seq 600); do [ -z "$(find "$tmp/pf/queue/incoming" "$tmp/pf/queue/active" -type f)" ] && break; sleep 0.1; done'
        scripts/postfix-instance.sh stop "$tmp/pf" >/dev/null 2>&1 || true
      else
        echo "kill-mail: postfix skipped: $(cat "$tmp/pf.why")" >&2
      fi ;;
    python)
      mkdir "$tmp/py"
      mkfifo "$tmp/py.in"
      exec 3<>"$tmp/py.in"  # the server ends when its input closes: with this script, however it ends
      SMTP_SERVER_LIFETIME=3600 SMTP_SERVER_STORE=raw /usr/bin/python3 tests/smtp_server.py "$tmp/py" <"$tmp/py.in" 2>"$tmp/py.log" >/dev/null &
      python_pid=$!
      for _ in $(seq 300); do [ -s "$tmp/py/ready" ] && break; sleep 0.1; done
      port=$(cut -d' ' -f1 "$tmp/py/ready" 2>/dev/null || true)
      if [ "$port" -gt 0 ] 2>/dev/null; then
        kill_test python "smtp://127.0.0.1:$port" "$tmp/py" 'msg*.eml' ':'
      else
        echo "kill-mail: the Python server skipped: $(cat "$tmp/py/ready" "$tmp/py.log" 2>/dev/null)" >&2
      fi
      kill "$python_pid" 2>/dev/null || true
      python_pid= ;;
  esac
done
exit "$bad"
