#!/usr/bin/env bash
# bench-process.sh — what a user pays for one card: a new `mirelune-cli card`
# process each run, as from a shell, timed by /usr/bin/time.
#
#   scripts/bench-process.sh                 # 20 runs, BMP, build/mirelune-cli
#   scripts/bench-process.sh --runs 50 --png --cli build-rel/mirelune-cli
#   scripts/bench-process.sh --mode pix
#
# Prints the medians (and the range) of CPU time (user + system), wall time and
# peak resident memory of the process. The card goes to a private temporary folder, never to
# a device or an existing file.
set -euo pipefail

runs=20
ext=bmp
mode=line
cli=""
friend=Mary
sender=Bob
while (($#)); do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --png) ext=png; shift ;;
    --bmp) ext=bmp; shift ;;
    --mode) mode="$2"; shift 2 ;;
    --cli) cli="$2"; shift 2 ;;
    --names) friend="$2"; sender="$3"; shift 3 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "bench-process.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench-process.sh: --runs needs a positive whole number" >&2; exit 2; }
[[ "$mode" == line || "$mode" == pix ]] || { echo "bench-process.sh: --mode is line or pix" >&2; exit 2; }
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${cli:-$root/build/mirelune-cli}"
[[ -x "$cli" ]] || { echo "bench-process.sh: no program at $cli (build it first)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "bench-process.sh: python3 is missing" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# wait4 gives the child's own CPU time to the microsecond and its peak RSS,
# which /usr/bin/time rounds to 10 ms.
python3 - "$runs" "$work/card.$ext" "$mode" "${ext^^}" "$cli" card --friend "$friend" --sender "$sender" \
  --mode "$mode" --out "$work/card.$ext" <<'PY'
import os, statistics, subprocess, sys, time
runs, out, mode, kind, argv = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
cpu, wall, rss = [], [], []
for _ in range(runs):
    if os.path.exists(out):
        os.unlink(out)
    start = time.monotonic()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall.append((time.monotonic() - start) * 1000)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"bench-process.sh: the program failed (status {os.waitstatus_to_exitcode(status)})")
    cpu.append((usage.ru_utime + usage.ru_stime) * 1000)
    rss.append(usage.ru_maxrss / 1024)
def line(name, v, unit, fmt):
    print(f"  {name:<10} {statistics.median(v):{fmt}} {unit:<4} [{min(v):{fmt}} .. {max(v):{fmt}}]")
print(f"mirelune-cli card, {kind}, {mode} mode, {runs} runs, a new process each (medians, range in brackets)")
line("CPU time", cpu, "ms", "6.1f")
line("wall time", wall, "ms", "6.1f")
line("peak RSS", rss, "MiB", "6.1f")
PY
