#!/usr/bin/env bash
# What mail costs a batch: the same list with and without --mail, against a private
# postfix on loopback (scripts/postfix-instance.sh, as root).
#
#   scripts/bench-mail.sh [CLI [OTHER_CLI ...]]     (default build/mirelune-cli)
#
# BENCH_ROWS rows (default 60) on BENCH_JOBS jobs (default 2), BENCH_RUNS runs of
# each (default 5), each into a fresh folder, in turns: every build and kind once a
# round, so builds compare (A/B) however the machine drifts. Prints each one's wall
# time (min, median, max) and the median time mail adds, in seconds and per cent.
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

settle() {  # until postfix has delivered everything: its work is not the next run's
  for _ in $(seq 600); do [ -z "$(find "$tmp/pf/queue/incoming" "$tmp/pf/queue/active" -type f)" ] && break; sleep 0.1; done
}
for round in $(seq "$runs"); do
  for k in "${!clis[@]}"; do
    for kind in plain mail; do
      rm -rf "$tmp/out"
      start=$(date +%s.%N)
      "${clis[$k]}" batch "$tmp/list.csv" --out-dir "$tmp/out" --jobs "$jobs" $([ $kind = mail ] && echo --mail) >/dev/null 2>"$tmp/err" ||
        { echo "bench-mail: ${clis[$k]} $kind failed: $(tail -3 "$tmp/err")" >&2; exit 1; }
      echo "$(date +%s.%N) - $start" | bc >>"$tmp/times-$k-$kind"
      settle
    done
  done
done
for k in "${!clis[@]}"; do
  python3 - "${clis[$k]}" "$rows" "$tmp/times-$k-plain" "$tmp/times-$k-mail" <<'PY'
import statistics, sys
cli, rows, plain, mail = sys.argv[1], sys.argv[2], *[[float(x) for x in open(f)] for f in sys.argv[3:]]
show = lambda t: "min %.2f, median %.2f, max %.2f s" % (min(t), statistics.median(t), max(t))
added = statistics.median(mail) - statistics.median(plain)
print("%s, %s rows: without mail %s; with --mail %s" % (cli, rows, show(plain), show(mail)))
print("  mail adds %.2f s (%.0f %%) of the median" % (added, 100 * added / statistics.median(plain)))
PY
done
