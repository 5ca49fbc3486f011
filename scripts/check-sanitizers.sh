#!/usr/bin/env bash
# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan), then
# the two-thread stress test and the X11 editor tests (the editor drawn while another
# thread plays and changes programs) under ThreadSanitizer (build-tsan). Any report fails.
# The module is dlopen-ed by the ABI tests, so it carries the same instrumentation; the
# sanitizer runtime is a shared library so that the module links on its own (clang for
# ASan and UBSan, g++ for TSan).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-2}

configure() {  # configure <dir> <C compiler> <C++ compiler> <sanitizer flags>
  local flags="$4 -fno-omit-frame-pointer -g"
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER="$2" -DCMAKE_CXX_COMPILER="$3" \
    -DTESSARON_BENCH=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer: build-asan"
runtime_dir=$(dirname "$(clang++ -print-file-name=libclang_rt.asan-x86_64.so)")
export LD_LIBRARY_PATH="$runtime_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
configure build-asan clang clang++ "-fsanitize=address,undefined -fno-sanitize-recover=undefined -shared-libsan"
cmake --build build-asan -j"$JOBS"
# Leaks inside fontconfig's own caches are the library's business, not ours.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/sanitizer-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
if ! ctest --test-dir build-asan -j"$JOBS" --output-on-failure --timeout 900; then
  # LeakSanitizer's own tracer thread (clang 14) sometimes dies of a signal while it stops
  # the process for the exit-time leak scan, after every test in it has passed. Only when
  # every failure is that are the failed tests run again (twice at most); any other failure
  # stands, and a test whose leak scan never ran is named.
  for attempt in 1 2 3; do
    python3 scripts/tracer-crashes-only.py build-asan/Testing/Temporary || exit 1
    if [ "$attempt" = 3 ]; then
      echo "sanitizers: WARNING: LeakSanitizer could not scan the tests above; their other checks passed" >&2
      break
    fi
    ctest --test-dir build-asan --rerun-failed --output-on-failure --timeout 900 && break
  done
fi

echo "== ThreadSanitizer: build-tsan (stress test, X11 editor tests)"
# g++ links its ThreadSanitizer runtime as a shared library for the module and the test
# alike; clang 14's shared one does not start on this system.
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "check-sanitizers: $tool is missing (make deps installs it)" >&2; exit 1; }
done
configure build-tsan gcc g++ "-fsanitize=thread"
cmake --build build-tsan -j"$JOBS" --target Tessaron64 tessaron_stress_tests tessaron_editor_x11_tests
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" TESSARON_STRESS_SECONDS=${TESSARON_STRESS_SECONDS:-3} \
  build-tsan/tests/stress/tessaron_stress_tests
# The editor tests start and stop their own Xvfb, so a report must not abort them halfway:
# ThreadSanitizer lets them finish and then exits with its own failing status.
TSAN_OPTIONS="halt_on_error=0:exitcode=66:second_deadlock_stack=1" \
  build-tsan/tests/editor-x11/tessaron_editor_x11_tests
echo "sanitizers: all clean"
