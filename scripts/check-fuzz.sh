#!/usr/bin/env bash
# Builds every libFuzzer target (clang, build-fuzz) and runs each for a bounded time,
# starting from the seeds in tests/fuzz/corpus/<target>/. A crash or a failed check
# fails the script; the crashing input is kept in build-fuzz/crashes/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
TARGETS="tessaron_ini_fuzz tessaron_program_file_fuzz tessaron_state_chunk_fuzz"
TARGETS="$TARGETS tessaron_midi_file_fuzz"  # tessaron-render's MIDI file reader and tempo map
TARGETS="$TARGETS tessaron_note_timing_fuzz"  # host block sizes and note times
TARGETS="$TARGETS tessaron_lv2_state_fuzz"  # the LV2 plug-in's state restore

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER="${CC:-clang}" \
  -DCMAKE_CXX_COMPILER="${CXX:-clang++}" -DTESSARON_FUZZ=ON -DTESSARON_TESTS=ON -DTESSARON_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build build-fuzz -j"$JOBS" --target $TARGETS

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=0"  # the fuzz instance lives for the whole run on purpose
status=0
for target in $TARGETS; do
  seeds=tests/fuzz/corpus/$target
  corpus=build-fuzz/corpus/$target  # grows here; the committed seeds stay as they are
  crashes=build-fuzz/crashes/$target
  mkdir -p "$corpus" "$crashes"
  echo "== $target: ${SECONDS_PER_TARGET} s"
  if ! build-fuzz/tests/fuzz/$target "$corpus" "$seeds" -max_total_time="$SECONDS_PER_TARGET" \
      -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/" \
      >"build-fuzz/$target.log" 2>&1; then
    echo "$target FAILED; input kept in $crashes/"
    tail -40 "build-fuzz/$target.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "build-fuzz/$target.log" | tr '\n' ' '
    echo
  fi
done
[ "$status" -eq 0 ] && echo "fuzz: no crashes"
exit "$status"
