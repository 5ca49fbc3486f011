#!/usr/bin/env bash
# The bundle's data against the LV2 vocabularies and schemas Debian installs (lv2-dev):
# sord_validate must report no error. Warnings are printed for the log.
#   validate-bundle.sh <bundle folder>
set -euo pipefail
bundle="$1"
command -v sord_validate > /dev/null || { echo "sord_validate is missing (Debian package sordi)"; exit 1; }
mapfile -t schemas < <(dpkg -L lv2-dev | grep '\.ttl$')
[ ${#schemas[@]} -gt 0 ] || { echo "no LV2 schemas found (Debian package lv2-dev)"; exit 1; }
report=$(sord_validate "${schemas[@]}" "$bundle"/*.ttl 2>&1) || true
echo "$report"
summary=$(grep -E '^Found [0-9]+ errors' <<< "$report") || { echo "no summary from sord_validate"; exit 1; }
[[ "$summary" =~ ^Found\ 0\ errors ]]
