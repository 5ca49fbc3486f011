#!/usr/bin/env bash
# Runs the Windows test programs under Wine: the 64-bit ones under 64-bit Wine, the 32-bit
# ones under 32-bit Wine. The 32-bit ones are skipped, loudly, only where the kernel itself
# cannot execute a 32-bit program; a 32-bit Wine that is missing or fails is a failure.
# Each program is judged by its own printed summary as well as its exit code, since a
# program that crashes under Wine may exit 0. The headless program runs first; the editor's
# program then runs on a private Xvfb server. A summary of every program closes the output.
# Usage: run-wine-tests.sh <build-win64> [<build-win32>] [-- gtest arguments for the headless program]
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"

dirs=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do dirs+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
[ ${#dirs[@]} -gt 0 ] || { echo "usage: $0 <build-win64> [<build-win32>] [-- gtest arguments]" >&2; exit 2; }

wine_prefix_ready || exit 1
failures=0
summary=()
skipped32=

xvfb_pid=
xvfb_display=
stop_xvfb() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
  xvfb_display=
}
trap stop_xvfb EXIT

# A private X server on a free display; false when none starts within 10 seconds.
start_xvfb() {
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; return 1; }
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if [ -s "$number_file" ]; then
      xvfb_display=":$(tr -dc 0-9 <"$number_file")"
      rm -f "$number_file"
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$number_file"
  stop_xvfb
  echo "Xvfb did not start" >&2
  return 1
}

# run_one <build dir> <program> <module> <loader> <display> [gtest arguments]
# An empty display runs the program headless.
run_one() {
  local dir=$1 program=$2 module=$3 loader=$4 display=$5 log
  shift 5
  log="$dir/$(basename "$program" .exe).log"
  if [ ! -f "$dir/$program" ] || [ ! -f "$dir/$module" ]; then
    echo "FAIL: $dir/$program or $dir/$module was not built" >&2
    failures=$((failures + 1))
    summary+=("FAIL    $program: not built")
    return
  fi
  echo "Running $program under $([ "$loader" = "$wine32_loader" ] && echo 32 || echo 64)-bit Wine${display:+ on the X server $display}"
  (cd "$dir" && TESSARON_MODULE="$module" WINELOADER=$loader DISPLAY=$display \
     wine_timeout 900 "$loader" "./$program" --gtest_color=no "$@" 2>&1) | tr -d '\r' >"$log"
  local code=${PIPESTATUS[0]}
  wine_wait
  grep -E '^\[  (FAILED|PASSED|SKIPPED) ' "$log" | sed 's/^/  /'
  local counts
  counts=$(grep -E '^\[  (PASSED|FAILED|SKIPPED) +\] [0-9]+ tests?' "$log" | sed -E 's/^\[  ([A-Z]+) +\] ([0-9]+) .*/\2 \1/' |
    tr '\n' ' ' | tr 'A-Z' 'a-z')
  if [ "$code" -ne 0 ] || ! grep -q '^\[  PASSED  \]' "$log" || grep -q '^\[  FAILED  \]' "$log"; then
    echo "FAIL: $program (exit code $code); the whole output is in $log" >&2
    tail -n 30 "$log" >&2
    failures=$((failures + 1))
    summary+=("FAIL    $program: exit code $code, ${counts:-no test summary}")
  else
    summary+=("PASS    $program: ${counts% }")
  fi
}

# run_pair <build dir> <bits> <module> <loader> [gtest arguments]: the headless program, then
# the editor's on a fresh X server, with the wineserver stopped in between so that the
# second run's Wine processes connect to that server.
run_pair() {
  local dir=$1 bits=$2 module=$3 loader=$4
  shift 4
  bash "$tessaron_root/scripts/check-windows-imports.sh" "$dir/$module" || failures=$((failures + 1))
  run_one "$dir" "tessaron_windows_tests$bits.exe" "$module" "$loader" "" "$@"
  if start_xvfb; then
    run_one "$dir" "tessaron_windows_editor$bits.exe" "$module" "$loader" "$xvfb_display"
    stop_xvfb
  else
    echo "FAIL: tessaron_windows_editor$bits.exe needs an X server" >&2
    failures=$((failures + 1))
    summary+=("FAIL    tessaron_windows_editor$bits.exe: no X server")
  fi
}

for dir in "${dirs[@]}"; do
  if [ -f "$dir/Tessaron64.dll" ]; then
    run_pair "$dir" 64 Tessaron64.dll "$wine64_loader" "$@"
  elif [ -f "$dir/Tessaron.dll" ]; then
    if ! kernel_runs_i386; then
      # The module is still checked; only running it needs a kernel that runs 32-bit programs.
      bash "$tessaron_root/scripts/check-windows-imports.sh" "$dir/Tessaron.dll" || failures=$((failures + 1))
      banner="SKIPPED: THIS KERNEL CANNOT EXECUTE 32-BIT PROGRAMS; $dir/Tessaron.dll WAS BUILT AND CHECKED, NOT RUN"
      printf '%s\n' "********" "$banner" "********" >&2
      skipped32=" (the 32-bit programs SKIPPED: this kernel cannot execute 32-bit programs)"
      summary+=("SKIPPED tessaron_windows_tests32.exe, tessaron_windows_editor32.exe: the kernel cannot execute 32-bit programs")
    elif ! wine32_installed; then
      echo "FAIL: 32-bit Wine ($wine32_loader) is not installed; scripts/install-deps.sh --windows installs it" >&2
      failures=$((failures + 1))
      summary+=("FAIL    tessaron_windows_tests32.exe, tessaron_windows_editor32.exe: 32-bit Wine is not installed")
    else
      run_pair "$dir" 32 Tessaron.dll "$wine32_loader" "$@"
    fi
  else
    echo "FAIL: no module in $dir" >&2
    failures=$((failures + 1))
  fi
done

echo "Windows test programs:"
printf '  %s\n' "${summary[@]}"
[ $failures -eq 0 ] && echo "Windows tests passed$skipped32" || echo "Windows tests: $failures failure(s)" >&2
[ $failures -eq 0 ]
