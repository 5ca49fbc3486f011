#!/usr/bin/env bash
# The module's short life (load, open, a note for a second, chunks, close) under
# valgrind memcheck: any memory error or definite leak fails.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
JOBS=${JOBS:-2}
command -v valgrind >/dev/null || { echo "valgrind is not installed"; exit 1; }
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target Tessaron64 tessaron_abuse_tests
# The test program points HOME at the build's private test home itself.
valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=1 --num-callers=30 \
  "$BUILD/tests/abuse/tessaron_abuse_tests" --gtest_filter='ModuleSmoke.*'
echo "valgrind: clean"
