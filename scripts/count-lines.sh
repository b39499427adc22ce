#!/usr/bin/env bash
# The house rule on the size of the tests: non-blank lines under tests/ (fuzz
# harnesses live in fuzz/ and do not count, nor does data: the inputs that once
# crashed a fuzz target, under tests/fuzz-crashes/, and the card set's list and
# digests, under tests/card-set/) at most a third of those under src/.
# Prints both counts and the ratio; exits 1 when the tests are over a third.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {  # non-blank lines of the files under a folder, as the repository holds them
  local files
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files -- "$1" ':!:tests/fuzz-crashes' ':!:tests/card-set')
  else
    files=$(find "$1" -type f -not -path '*/fuzz-crashes/*' -not -path '*/card-set/*')
  fi
  [ -n "$files" ] || { echo 0; return; }
  # shellcheck disable=SC2086
  cat $files | grep -cv '^[[:space:]]*$' || true
}

tests=$(count tests)
code=$(count src)
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", c ? t / c : 0 }')
echo "tests: $tests non-blank lines, code: $code, ratio $ratio (at most 0.333)"
if [ $((3 * tests)) -gt "$code" ]; then
  echo "count-lines: the tests are over a third of the code" >&2
  exit 1
fi
