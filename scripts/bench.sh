#!/usr/bin/env bash
# bench.sh — two commits' benchmarks side by side, in one run: each commit is
# built once (Release, the benchmarks and the command line only) in a worktree
# of its own under /tmp, then each benchmark runs alone for A and for B in turn,
# A B, B A, ..., so that a machine whose speed drifts slows both alike. Prints
# each figure's median CPU time for A and B and the median of the rounds' ratios
# B/A (below 1: B is faster).
#
#   scripts/bench.sh A B [--rounds N] [--filter REGEX] [--cli]
#   scripts/bench.sh main HEAD --filter 'WholeCard/|Stage'
#
# --cli also times one `mirelune-cli card` process writing a PNG, A and B in turn.
# The worktrees stay (MIRELUNE_BENCH_DIR, default /tmp/mirelune-bench) so that a
# second run rebuilds nothing; `git worktree remove` them when done.
set -euo pipefail

rounds=5
filter=.
cli=0
revs=()
while (($#)); do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --filter) filter="$2"; shift 2 ;;
    --cli) cli=1; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
    *) revs+=("$1"); shift ;;
  esac
done
((${#revs[@]} == 2)) || { echo "bench.sh: give two commits, A and B (see --help)" >&2; exit 2; }
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "bench.sh: --rounds needs a positive whole number" >&2; exit 2; }
root="$(cd "$(dirname "$0")/.." && pwd)"
base="${MIRELUNE_BENCH_DIR:-/tmp/mirelune-bench}"
mkdir -p "$base"

# build REV: prints the folder of REV's build.
build() {
  local sha dir
  sha=$(git -C "$root" rev-parse --verify --short=12 "$1^{commit}") || { echo "bench.sh: no commit $1" >&2; exit 2; }
  dir="$base/$sha"
  [[ -d "$dir/src" ]] || git -C "$root" worktree add --detach "$dir" "$sha" >/dev/null 2>&1
  if [[ ! -x "$dir/build/bench/mirelune-bench" || ! -x "$dir/build/mirelune-cli" ]]; then
    echo "bench.sh: building $1 ($sha) in $dir/build" >&2
    cmake -S "$dir" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DMIRELUNE_WINDOW=OFF -DMIRELUNE_TESTS=OFF \
      -DMIRELUNE_BENCH=ON >"$dir/build.log" 2>&1 &&
      cmake --build "$dir/build" -j2 --target mirelune-bench mirelune-cli >>"$dir/build.log" 2>&1 ||
      { echo "bench.sh: the build of $1 failed; see $dir/build.log" >&2; exit 1; }
  fi
  echo "$dir/build"
}
a=$(build "${revs[0]}")
b=$(build "${revs[1]}")

python3 - "$a" "$b" "$rounds" "$filter" "$cli" "${revs[0]}" "${revs[1]}" <<'PY'
import json, os, re, statistics, subprocess, sys, tempfile
a, b, rounds, pattern, cli, name_a, name_b = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5] == "1", sys.argv[6], sys.argv[7]
times = {a: {}, b: {}}  # build -> figure -> CPU ms per round
order = []
def names(build):
    out = subprocess.run([build + "/bench/mirelune-bench", "--benchmark_filter=" + pattern, "--benchmark_list_tests"],
                         check=True, capture_output=True, text=True).stdout
    return out.split()
def bench(build, name):  # one benchmark alone, so that A's and B's runs of it are seconds apart
    out = subprocess.run([build + "/bench/mirelune-bench", "--benchmark_filter=^" + re.sub(r"([][().*+?^$|\\{}])", r"\\\1", name) + "$",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    for run in json.loads(out)["benchmarks"]:
        if run.get("error_occurred") or run["name"] != name:
            continue
        figure = name + (" [" + run["label"] + "]" if run.get("label") else "")
        if figure not in order:
            order.append(figure)
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[run["time_unit"]]
        times[build].setdefault(figure, []).append(run["cpu_time"] * scale)
def card(build, work):
    out = os.path.join(work, "card.png")
    if os.path.exists(out):
        os.unlink(out)
    child = subprocess.Popen([build + "/mirelune-cli", "card", "--friend", "Mary", "--sender", "Bob", "--year", "2017",
                              "--out", out], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("bench.sh: mirelune-cli card failed in " + build)
    figure = "process: card --out card.png, CPU"
    if figure not in order:
        order.append(figure)
    times[build].setdefault(figure, []).append((usage.ru_utime + usage.ru_stime) * 1000)
has = {a: names(a), b: names(b)}
listed = has[a] + [n for n in has[b] if n not in has[a]]
with tempfile.TemporaryDirectory() as work:
    for r in range(rounds):
        pair = (a, b) if r % 2 == 0 else (b, a)
        for name in listed:
            for build in pair:
                if name in has[build]:
                    bench(build, name)
        for _ in range(5 if cli else 0):
            for build in pair:
                card(build, work)
# The ratio is the median of the rounds' own ratios: each round's A and B ran
# moments apart, so a machine whose load drifts moves both.
width = max([len(n) for n in order] + [20])
print(f"{'median CPU ms, ' + str(rounds) + ' rounds':<{width}} {name_a[:10]:>10} {name_b[:10]:>10}    B/A")
for figure in order:
    ta, tb = times[a].get(figure), times[b].get(figure)
    cell = lambda t: f"{statistics.median(t):10.3f}" if t else f"{'-':>10}"
    ratio = f"{statistics.median(y / x for x, y in zip(ta, tb)):6.3f}" if ta and tb else f"{'-':>6}"
    print(f"{figure:<{width}} {cell(ta)} {cell(tb)} {ratio}")
PY
