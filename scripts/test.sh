#!/usr/bin/env bash
# Builds Mirelune and runs every test: the engine and command-line tests, the
# window's tests (offscreen), the end-to-end window test under Xvfb, the Debian
# package, and the batch array script on a single-node Slurm.
#   scripts/test.sh              release build in build/
#   scripts/test.sh --sanitize   ASan + UBSan build of the unit tests in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
scripts/check-layers.sh
scripts/count-lines.sh

if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELUNE_SANITIZE=ON \
    -DMIRELUNE_BENCH=OFF -DMIRELUNE_WINDOW=OFF -DMIRELUNE_WERROR=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
  exit 0
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMIRELUNE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$jobs"
if [ -x build/src/window/mirelune ] && [ -x scripts/e2e-window.sh ]; then
  unset QT_QPA_PLATFORM
  scripts/e2e-window.sh build
  # The Debian package made from the same build, unpacked and checked as installed.
  scripts/test-package.sh build
  # A single-node Slurm on localhost runs the batch array script (77: cannot here).
  status=0
  scripts/test-slurm.sh build/mirelune-cli || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit "$status"
  # Two `serve` instances behind nginx with the shipped site file (77: no nginx).
  status=0
  scripts/test-nginx.sh build/mirelune-cli || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit "$status"
fi
