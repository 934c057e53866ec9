#!/usr/bin/env bash
# Builds Lumenix.exe and runs it under Wine in a prefix of its own, watched by the test driver: prints every
# box the launcher showed and its exit code, and saves a screenshot taken while it runs.
# Extra arguments go to the driver, e.g. scripts/run.sh --win win2k   or   scripts/run.sh --answer cancel
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset mingw-x64
cmake --build --preset mingw-x64 --target Lumenix lxdriver

build=build/mingw-x64
rundir="$build/run"
env_script=tests/platform/wine-env.sh
# On the caller's display when there is one, else on an Xvfb display of its own.
LX_DISPLAY="${DISPLAY:-}" "$env_script" start "$rundir" >/dev/null
trap '"$env_script" stop "$rundir" >/dev/null' EXIT

windows_path() { printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr '/' '\\'; }
screenshot="$rundir/screenshot.png"
rm -f "$screenshot"

status=0
"$env_script" exec "$rundir" "$build/bin/lxdriver.exe" --screenshot "$(windows_path "$screenshot")" "$@" \
    -- "$(windows_path "$build/bin/Lumenix.exe")" || status=$?
if [ -f "$screenshot" ]; then
    echo "screenshot: $screenshot"
else
    echo "screenshot: none (the launcher ended before one was taken)"
fi
exit "$status"
