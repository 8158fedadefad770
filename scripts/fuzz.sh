#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each in
# turn for SECONDS (default 300) from a scratch copy of its committed seed
# corpus, so a run never grows fuzz/corpus/. Crash, leak and timeout inputs
# land in the run's artifacts directory, which the summary names.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (targets: see fuzz/README.md)
#
# Exits non-zero when a target left an artifact or stopped on a failure.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)

ALL_TARGETS="text_table profile sealed_report load_check nibble_read scanf_readers"
SECONDS_EACH=300
case "${1:-}" in
  ''|*[!0-9]*) ;;
  *) SECONDS_EACH=$1; shift ;;
esac
TARGETS=${*:-$ALL_TARGETS}
for t in $TARGETS; do
  case " $ALL_TARGETS " in
    *" $t "*) ;;
    *) echo "fuzz.sh: no target named $t (targets: $ALL_TARGETS)" >&2; exit 2 ;;
  esac
done

CXX=${FUZZ_CXX:-clang++} CC=${FUZZ_CC:-clang} cmake -S . -B build-fuzz \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFS_BUILD_FUZZ=ON -DFS_BUILD_UI=OFF \
  -DFS_BUILD_TESTS=OFF -DFS_BUILD_BENCH=OFF >/dev/null
for t in $TARGETS; do
  nice -n 10 cmake --build build-fuzz -j"${FUZZ_BUILD_JOBS:-2}" --target "fuzz_$t" >/dev/null
done

RUN_DIR="$ROOT/build-fuzz/runs/$(date -u +%Y%m%d-%H%M%S)"
mkdir -p "$RUN_DIR"
echo "fuzz.sh: $SECONDS_EACH s per target; output in $RUN_DIR"
failed=0
for t in $TARGETS; do
  work="$RUN_DIR/$t"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "fuzz/corpus/$t/"* "$work/corpus/" 2>/dev/null || true
  if [ -d "fuzz/regressions/$t" ]; then cp "fuzz/regressions/$t/"* "$work/corpus/" 2>/dev/null || true; fi
  echo "fuzz.sh: $t ..."
  set +e
  # The outer timeout only bounds a fuzzer that stops answering.
  nice -n 10 timeout $((SECONDS_EACH + 300)) "build-fuzz/dist/fuzz_$t" \
    -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=1024 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" >"$work/log.txt" 2>&1
  status=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log.txt" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$work/log.txt" | tail -n 1)
  cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
  # Slow units are only reported: on a shared machine a stall is not a fault
  # until the input is slow again on its own.
  crashes=$(ls "$work/artifacts" | grep -cv '^slow-unit-' || true)
  slow=$(ls "$work/artifacts" | grep -c '^slow-unit-' || true)
  echo "  $t: exit $status, executions ${execs:-?}, cov ${cov:-?}, features ${ft:-?}, crashes $crashes, slow units $slow"
  if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ] || [ "$slow" -ne 0 ]; then
    ls "$work/artifacts" | sed "s|^|    $work/artifacts/|"
    echo "    log: $work/log.txt"
  fi
  if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then failed=1; fi
done
echo "fuzz.sh: artifacts in $RUN_DIR/<target>/artifacts; keep each as fuzz/regressions/<target>/<name>"
exit $failed
