#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs each one for a while from its seed corpus.
#
#   fuzz/run.sh [SECONDS-PER-TARGET] [TARGET...]     # default 12 s each, every target
#
# A target whose source (fuzz/fuzz_TARGET.cpp) is not there is skipped.
# New inputs found go to a scratch folder, not into fuzz/corpus; a crash leaves its
# input as build-fuzz/crash-* and ends the script with status 1; commit it under
# tests/fuzz-crashes/TARGET/, where ctest replays it (FuzzReplay.TARGET).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-12}
shift || true
wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=(seed cli_args palette_chooser mail text card_report card_file csv request request_head)
targets=()
for t in "${wanted[@]}"; do
  if [ -f "fuzz/fuzz_$t.cpp" ]; then targets+=("$t"); else echo "fuzz_$t: skipped (no fuzz/fuzz_$t.cpp)"; fi
done
[ ${#targets[@]} -gt 0 ] || exit 0
build=${MIRELUNE_FUZZ_BUILD:-build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >/dev/null
# fontconfig keeps its caches to the end of the process; that is no leak of ours.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
status=0
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  log="$build/fuzz_$t.log"
  if ! "$build/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -timeout=20 -print_final_stats=1 \
       -artifact_prefix="$build/" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz_$t: FAILED (see $log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz_$t: ${runs:-0} executions in ${seconds} s"
  rm -rf "$work"
done
exit $status
