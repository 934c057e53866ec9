#!/usr/bin/env bash
# Splash benchmark: time from process start to a visible splash window, Lumenix.exe against a minimal program
# that shows the same artwork the same way (lx_splash_minimal). Prints every run, both medians and their ratio.
#
#   tests/splash/bench/run-splash-bench.sh [RUNS]        (default 15 runs of each, after one warm-up run each)
#
# Runs in a Wine prefix and on an Xvfb display of its own (build/mingw-x64/splash-bench), which it stops again.
# Lumenix.exe runs against the stand-in hosting library, whose entry call holds the launcher for a second; the
# splash shows before the runtime is loaded, so the stand-in does not take part in the measured time.
set -euo pipefail
cd "$(dirname "$0")/../../.."

runs=${1:-15}
build=build/mingw-x64
benchdir="$build/splash-bench"
env_script=tests/platform/wine-env.sh
windows_path() { printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr '/' '\\'; }

scripts/install-deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target Lumenix lx_splash_minimal lx_splash_watch lx_standin_variants \
    lx_fake_assembly_writer >/dev/null

# Always a display of its own: other windows on a shared one would disturb the timing.
LX_DISPLAY="" "$env_script" start "$benchdir" >/dev/null
trap '"$env_script" stop "$benchdir" >/dev/null' EXIT

cp "$build/standin/full/mscoree.dll" "$benchdir/prefix/drive_c/windows/system32/mscoree.dll"
appbase="$benchdir/appbase"
mkdir -p "$appbase"
"$env_script" exec "$benchdir" "$build/bin/lx_fake_assembly_writer.exe" \
    "$(windows_path "$appbase/Corvane.Platform.Tessarine.UI.Standalone.dll")"
{
    echo "defaultDomain.base=$(windows_path "$appbase")"
    echo "entry.delayMs=1000"
} >"$benchdir/scenario.txt"

LX_CLR_SCENARIO="$(windows_path "$benchdir/scenario.txt")" WINEDLLOVERRIDES="mscoree=n" \
    "$env_script" exec "$benchdir" "$build/bin/lx_splash_watch.exe" "$runs" CorvaneLauncherSplash \
    "$(windows_path "$build/bin/Lumenix.exe")" "$(windows_path "$build/bin/lx_splash_minimal.exe")"
