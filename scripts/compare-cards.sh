#!/usr/bin/env bash
# A wider net than the golden tests for a change that must not alter a card: 220
# batch rows with varied settings (both modes, palettes, style limits, years,
# names in many scripts) and the 23 styles alone at three seeds, each card's
# SHA-256 with the draws of every stage. Prints the differences; exit 1 if any.
#
#   scripts/compare-cards.sh [build/mirelune-cli]           compare with tests/card-set/digests.txt
#   scripts/compare-cards.sh --record [build/mirelune-cli]  write that file anew (a deliberate change)
#
# Takes about 15 s on two cores. The digests depend on the face files installed,
# as the golden ones do.
set -euo pipefail
cd "$(dirname "$0")/.."
record=0
[ "${1:-}" = "--record" ] && { record=1; shift; }
cli=$(realpath "${1:-build/mirelune-cli}")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$cli" batch tests/card-set/list.csv --out-dir "$out/batch" --format bmp --year 2017 >/dev/null 2>&1 || true
/usr/bin/python3 - "$out/batch/manifest.jsonl" > "$out/digests.txt" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    row = json.loads(line)
    report = row.get("report", {})
    report.pop("version", None)  # the same card in every version of a major release
    print(row.get("line"), row.get("status"), row.get("sha256"), json.dumps(report, sort_keys=True))
PY
for n in $(seq 1 23); do
  for seed in 1 777 123456; do
    "$cli" style "$n" --seed "$seed" --out "$out/style.bmp" >/dev/null
    echo "style $n $seed $(sha256sum < "$out/style.bmp" | cut -c1-64)" >> "$out/digests.txt"
  done
done
if [ "$record" -eq 1 ]; then
  cp "$out/digests.txt" tests/card-set/digests.txt
  echo "compare-cards: recorded $(wc -l < tests/card-set/digests.txt) digests"
  exit 0
fi
if diff tests/card-set/digests.txt "$out/digests.txt" > "$out/diff"; then
  echo "compare-cards: all $(wc -l < "$out/digests.txt") cards and styles the same"
else
  cut -c1-200 "$out/diff"
  echo "compare-cards: cards differ" >&2
  exit 1
fi
