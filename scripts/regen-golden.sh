#!/usr/bin/env bash
# Writes tests/golden_digests.inc anew from the current build: the pinned digests of
# every golden case and style. Cards are a promise, so run this only on purpose,
# and say in the commit which cards change and why (and bump the major version).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build -j"$(nproc)" --target mirelune-tests >/dev/null
MIRELUNE_GOLDEN_WRITE="$PWD/tests/golden_digests.inc" build/tests/mirelune-tests --gtest_filter='Golden.*' >/dev/null
cmake --build build -j"$(nproc)" --target mirelune-tests >/dev/null
build/tests/mirelune-tests --gtest_filter='Golden.*' | tail -1
git --no-pager diff --stat -- tests/golden_digests.inc
