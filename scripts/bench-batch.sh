#!/usr/bin/env bash
# Speed and memory of `mirelune-cli batch`:
#  * cards per second for a ROWS-row list (default 1000) on one thread and on two;
#  * peak resident memory for a 1,000-row list and for a 10,000-row list. To keep
#    the second one affordable, 9 of every 10 of its rows carry a bad value: they are
#    read, checked, reported and written to the manifest like any row, but make no
#    card, so the run makes 1,000 cards while all the per-row bookkeeping sees
#    10,000 rows.
#
#   scripts/bench-batch.sh [build/mirelune-cli]     (ROWS=200 for a quick look)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "${1:-$here/../build/mirelune-cli}")
rows=${ROWS:-1000}
tmp=$(mktemp -d /tmp/mirelune-bench-batch-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

# make_list FILE ROWS BAD_EVERY: BAD_EVERY > 0 spoils all rows but every BAD_EVERY-th.
make_list() {
  awk -v n="$2" -v every="$3" 'BEGIN {
    print "friend,sender,mode"
    for (k = 1; k <= n; k++) print "Friend " k ",Sender " (k % 97) "," ((every > 0 && k % every != 0) ? "bad" : "")
  }' >"$1"
}

# run LIST DIR JOBS FORMAT: prints "<seconds> <peak RSS in KiB>"
run() {
  /usr/bin/python3 - "$cli" "$@" <<'PY'
import resource, subprocess, sys, time
cli, listing, out, jobs, fmt = sys.argv[1:]
t = time.monotonic()
rc = subprocess.call([cli, "batch", listing, "--out-dir", out, "--jobs", jobs, "--format", fmt],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
if rc not in (0, 1):
    sys.exit("batch failed with %d" % rc)
print("%.2f %d" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
}

make_list "$tmp/speed.csv" "$rows" 0
read -r t1 rss1 < <(run "$tmp/speed.csv" "$tmp/j1" 1 png)
read -r t2 rss2 < <(run "$tmp/speed.csv" "$tmp/j2" 2 png)
cmp -s "$tmp/j1/manifest.jsonl" "$tmp/j2/manifest.jsonl" || { echo "bench-batch: the outputs differ" >&2; exit 1; }
awk -v n="$rows" -v a="$t1" -v b="$t2" 'BEGIN {
  printf "%d rows, png: --jobs 1 %.2f cards/s, --jobs 2 %.2f cards/s, %.2fx\n", n, n / a, n / b, a / b }'

rm -rf "$tmp/j1" "$tmp/j2"
make_list "$tmp/rss1k.csv" 1000 0
make_list "$tmp/rss10k.csv" 10000 10
read -r _ kb1 < <(run "$tmp/rss1k.csv" "$tmp/r1" 2 bmp)
rm -rf "$tmp/r1"
read -r _ kb10 < <(run "$tmp/rss10k.csv" "$tmp/r10" 2 bmp)
echo "peak RSS, --jobs 2, bmp: 1,000 rows $((kb1 / 1024)) MiB; 10,000 rows (1,000 cards) $((kb10 / 1024)) MiB"
