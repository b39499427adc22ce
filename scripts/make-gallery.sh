#!/usr/bin/env bash
# Renders the style gallery of the README: every style alone, half size, and the
# sample card. Needs a build (first argument, default build/) and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p docs/styles
for n in $(seq 1 23); do
  "$build/mirelune-cli" style "$n" --seed "$((2000 + n))" --out "$tmp/style.png" >/dev/null
  convert "$tmp/style.png" -resize 50% -strip -define png:compression-level=9 "docs/styles/style-$(printf %02d "$n").png"
done
"$build/mirelune-cli" card --friend Mary --sender Bob --out "$tmp/card.png" >/dev/null
convert "$tmp/card.png" -resize 75% -strip -quality 88 docs/card-mary-bob.jpg
ls -l docs/styles docs/card-mary-bob.jpg | awk '{print $5, $9}'
