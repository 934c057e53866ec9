#!/usr/bin/env bash
# Prints "N passed, N failed" from the last ctest summary in a log, or "no test result".
#   scripts/ctest-counts.sh LOG
set -euo pipefail
log=${1:?usage: ctest-counts.sh LOG}
line=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
if [ -z "$line" ]; then
    echo "no test result"
    exit 0
fi
read -r failed _ _ _ _ total <<<"$line"
echo "$((total - failed)) passed, $failed failed"
