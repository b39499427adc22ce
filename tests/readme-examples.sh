#!/usr/bin/env bash
# The README's command-line examples, run as a reader would type them: each must
# still be written in the README word for word, and do what the README says.
#   tests/readme-examples.sh README.md path/to/mirelune-cli
set -euo pipefail
readme=$(realpath "$1") cli=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "readme-examples: $*" >&2; exit 1; }
quoted() { grep -qF -- "$1" "$readme" || fail "the README no longer says: $1"; }
mirelune-cli() { "$cli" "$@"; }

quoted 'mirelune-cli card --friend Mary --sender Bob'
quoted 'The first command leaves `Mary-from-Bob.png` in the current folder.'
mirelune-cli card --friend Mary --sender Bob 2>/dev/null
[ -s Mary-from-Bob.png ] || fail "no Mary-from-Bob.png"
quoted 'It is never replaced: a second run says the'
cp Mary-from-Bob.png first.png
if mirelune-cli card --friend Mary --sender Bob --year 2017 2>err; then fail "a second run replaced the card"; fi
grep -q "is there already" err || fail "the second run did not say why: $(cat err)"
cmp -s first.png Mary-from-Bob.png || fail "the refused run changed the card"
mirelune-cli card --friend Mary --sender Bob --year 2017 --force 2>/dev/null
cmp -s first.png Mary-from-Bob.png && fail "--force did not replace the card"

quoted '(`command: mirelune-cli card --friend Mary --sender Bob --year 2027`'
mirelune-cli card --friend Mary --sender Bob --year 2027 --out card.png 2>/dev/null
mirelune-cli info card.png | grep -qx 'command: mirelune-cli card --friend Mary --sender Bob --year 2027' ||
  fail "info gives another command"
quoted '`again: mirelune-cli card --again card.png`'
mirelune-cli info card.png | grep -qx 'again: mirelune-cli card --again card.png' || fail "info gives another --again"
mirelune-cli card --again card.png --out again.png 2>/dev/null
cmp -s card.png again.png || fail "--again made another card"
quoted 'mirelune-cli card --again card.jpg'
mirelune-cli card --friend Mary --sender Bob --out card.jpg 2>/dev/null
mirelune-cli card --again card.jpg --out again.jpg 2>/dev/null
cmp -s card.jpg again.jpg || fail "--again made another JPEG"
quoted 'mirelune-cli card --friend Mary --sender Bob --print a6 --crop-marks'
mirelune-cli card --friend Mary --sender Bob --print a6 --crop-marks 2>/dev/null
[ "$(pdfinfo Mary-from-Bob.pdf | grep -c 'Pages: *1$')" = 1 ] || fail "no one-page Mary-from-Bob.pdf"
echo "readme-examples: all examples do what the README says"
