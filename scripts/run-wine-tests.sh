#!/usr/bin/env bash
# Runs the Windows test programs under Wine: the 64-bit one always, the 32-bit one where
# this machine can run 32-bit Windows programs. Each program is judged by its own printed
# summary as well as its exit code, since a program that crashes under Wine may exit 0.
# Usage: run-wine-tests.sh <build-win64> [<build-win32>] [-- gtest arguments]
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"

dirs=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do dirs+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
[ ${#dirs[@]} -gt 0 ] || { echo "usage: $0 <build-win64> [<build-win32>] [-- gtest arguments]" >&2; exit 2; }

wine_prefix_ready || exit 1
failures=0

# run_one <build dir> <program> <module> <loader>
run_one() {
  local dir=$1 program=$2 module=$3 loader=$4 log
  shift 4
  log="$dir/$(basename "$program" .exe).log"
  if [ ! -f "$dir/$program" ] || [ ! -f "$dir/$module" ]; then
    echo "FAIL: $dir/$program or $dir/$module was not built" >&2
    failures=$((failures + 1))
    return
  fi
  bash "$tessaron_root/scripts/check-windows-imports.sh" "$dir/$module" || failures=$((failures + 1))
  echo "Running $program under Wine"
  # Headless: the editor tests run separately under Xvfb.
  (cd "$dir" && TESSARON_MODULE="$module" WINELOADER=$loader DISPLAY= \
     wine_timeout 900 "$loader" "./$program" --gtest_color=no "$@" 2>&1) | tr -d '\r' >"$log"
  local code=${PIPESTATUS[0]}
  wine_wait
  grep -E '^\[  (FAILED|PASSED|SKIPPED) ' "$log" | sed 's/^/  /'
  if [ "$code" -ne 0 ] || ! grep -q '^\[  PASSED  \]' "$log" || grep -q '^\[  FAILED  \]' "$log"; then
    echo "FAIL: $program (exit code $code); the whole output is in $log" >&2
    tail -n 30 "$log" >&2
    failures=$((failures + 1))
  fi
}

for dir in "${dirs[@]}"; do
  if [ -f "$dir/Tessaron64.dll" ]; then
    run_one "$dir" tessaron_windows_tests64.exe Tessaron64.dll "$wine64_loader" "$@"
  elif [ -f "$dir/Tessaron.dll" ]; then
    if wine32_usable; then
      run_one "$dir" tessaron_windows_tests32.exe Tessaron.dll "$wine32_loader" "$@"
    else
      # The module is still checked; only running it needs 32-bit Wine.
      bash "$tessaron_root/scripts/check-windows-imports.sh" "$dir/Tessaron.dll" || failures=$((failures + 1))
      echo "SKIPPED: 32-bit Wine cannot run on this machine; $dir/Tessaron.dll was built and checked, not run"
    fi
  else
    echo "FAIL: no module in $dir" >&2
    failures=$((failures + 1))
  fi
done

[ $failures -eq 0 ] && echo "Windows tests passed" || echo "Windows tests: $failures failure(s)" >&2
[ $failures -eq 0 ]
