#!/usr/bin/env bash
# What mail costs a batch: the same list with and without --mail, against a private
# postfix on loopback (scripts/postfix-instance.sh, as root).
#
#   scripts/bench-mail.sh [CLI [OTHER_CLI ...]]     (default build/mirelune-cli)
#
# BENCH_ROWS rows (default 60) on BENCH_JOBS jobs (default 2), BENCH_RUNS runs of
# each (default 5), each into a fresh folder, in turns: every build and kind once a
# round, so builds compare (A/B) however the machine drifts. Prints each one's wall
# time (min, median, max), the median time mail adds, in seconds and per cent, and
# the CPU time the batch and the rest of the machine spent (medians).
# Postfix runs on the same cores: its own CPU time is part of what mail costs here.
# The kill test is scripts/kill-mail.sh. Exits 77 without postfix.
set -euo pipefail
cd "$(dirname "$0")/.."
clis=("$@")
[ ${#clis[@]} -gt 0 ] || clis=(build/mirelune-cli)
for k in "${!clis[@]}"; do clis[$k]=$(realpath "${clis[$k]}"); done
rows=${BENCH_ROWS:-60} jobs=${BENCH_JOBS:-2} runs=${BENCH_RUNS:-5}
tmp=$(mktemp -d /tmp/mirelune-bench-mail-XXXXXX)
chmod 755 "$tmp"  # postfix's own user reaches its folders through it
trap 'scripts/postfix-instance.sh stop "$tmp/pf" >/dev/null 2>&1; rm -rf "$tmp"' EXIT
port=$(scripts/postfix-instance.sh start "$tmp/pf") || exit 77
export MIRELUNE_SMTP_URL=smtp://127.0.0.1:$port MIRELUNE_MAIL_FROM=bench@example.org
{ echo "friend,sender,email,message"; for r in $(seq 0 $((rows - 1))); do echo "F$r,Bob,row$r@x.org,hi $r"; done; } >"$tmp/list.csv"

TIMEFORMAT='%3U %3S'  # the batch's own CPU, user and system
ticks() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 }' /proc/stat; }  # the whole machine's, in 1/100 s
settle() {  # until postfix has delivered everything: its work is not the next run's
  for _ in $(seq 600); do [ -z "$(find "$tmp/pf/queue/incoming" "$tmp/pf/queue/active" -type f)" ] && break; sleep 0.1; done
}
for round in $(seq "$runs"); do
  for k in "${!clis[@]}"; do
    for kind in plain mail; do
      rm -rf "$tmp/out"
      before=$(ticks)
      start=$(date +%s.%N)
      { time "${clis[$k]}" batch "$tmp/list.csv" --out-dir "$tmp/out" --jobs "$jobs" $([ $kind = mail ] && echo --mail) \
          >/dev/null 2>"$tmp/err"; } 2>"$tmp/cpu" ||
        { echo "bench-mail: ${clis[$k]} $kind failed: $(tail -3 "$tmp/err")" >&2; exit 1; }
      echo "$(date +%s.%N) - $start" | bc >>"$tmp/times-$k-$kind"
      settle
      echo "$(cat "$tmp/cpu") $(($(ticks) - before))" >>"$tmp/cpu-$k-$kind"
    done
  done
done
for k in "${!clis[@]}"; do
  python3 - "${clis[$k]}" "$rows" "$tmp"/{times,cpu}-$k-{plain,mail} <<'PY'
import statistics, sys
cli, rows, plain, mail = sys.argv[1], sys.argv[2], *[[float(x) for x in open(f)] for f in sys.argv[3:5]]
cpu = [[[float(x) for x in line.split()] for line in open(f)] for f in sys.argv[5:]]
show = lambda t: "min %.2f, median %.2f, max %.2f s" % (min(t), statistics.median(t), max(t))
added = statistics.median(mail) - statistics.median(plain)
ours = [statistics.median(r[0] + r[1] for r in runs) for runs in cpu]
rest = [statistics.median(r[2] / 100 - r[0] - r[1] for r in runs) for runs in cpu]
print("%s, %s rows: without mail %s; with --mail %s" % (cli, rows, show(plain), show(mail)))
print("  mail adds %.2f s (%.0f %%) of the median" % (added, 100 * added / statistics.median(plain)))
print("  CPU: the batch's own %.2f s without mail, %.2f s with it (%+.0f %%); the rest of the machine's, the mail"
      " server's almost all, %.2f s and %.2f s" % (ours[0], ours[1], 100 * (ours[1] / ours[0] - 1), rest[0], rest[1]))
PY
done
