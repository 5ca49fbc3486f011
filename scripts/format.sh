#!/usr/bin/env bash
# Applies .clang-format to every C++ file of the project (tracked by git), or with --check
# lists the files it would change and fails if there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed (apt-get install clang-format)" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--check" ]]; then
  status=0
  for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
      echo "$f"
      status=1
    fi
  done
  exit $status
fi
clang-format -i "${files[@]}"
