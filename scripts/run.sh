#!/usr/bin/env bash
# Builds Lumenix.exe and runs it under Wine in a prefix of its own, watched by the test driver: prints every
# box the launcher showed and its exit code, and saves a screenshot taken while it runs.
#
# By default the run uses the project's stand-in hosting library, since Wine has no CLR that runs IL: it "runs
# the application" by waiting a moment, closing the splash window and returning 0, and logs every hosting call
# to build/mingw-x64/run/clr-calls.jsonl.
#
#   scripts/run.sh [--scenario KEY=VALUE]... [driver options]
#   scripts/run.sh --mono-runtime [driver options]
# --scenario adds a line to the stand-in's scenario (see tests/standin/README.md), e.g.
#   --scenario entry.throw=Boom   or   --scenario GetInterface=0x80131700
# --mono-runtime runs the sample on a real CLR instead: Mono, built from Debian's source by
#   scripts/build-mono-runtime.sh (first, when it is not built yet) and hosted by Wine's own mscoree.dll, rebuilt
#   from the same source with its patch. The screenshot shows the product's window, which the driver then
#   closes as a user would.
# Driver options: --win win2k, --answer no, --env NAME=VALUE, ... (see tests/driver/lxdriver.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."

scenario_lines=()
driver_args=()
mono_runtime=""
while [ $# -gt 0 ]; do
    case "$1" in
    --scenario) scenario_lines+=("${2:?--scenario needs KEY=VALUE}"); shift 2 ;;
    --mono-runtime) mono_runtime=yes; shift ;;
    *) driver_args+=("$1"); shift ;;
    esac
done

if [ -n "$mono_runtime" ] && [ ${#scenario_lines[@]} -ne 0 ]; then
    echo "run.sh: --scenario is for the stand-in and cannot go with --mono-runtime" >&2
    exit 2
fi

scripts/install-deps.sh
if [ -n "$mono_runtime" ]; then
    mono_runtime=$(scripts/build-mono-runtime.sh | tee /dev/stderr | tail -n 1)
fi
cmake --preset mingw-x64
cmake --build --preset mingw-x64 --target Lumenix lxdriver lx_standin_variants lx_fake_assembly_writer

build=build/mingw-x64
rundir="$build/run"
env_script=tests/platform/wine-env.sh
windows_path() { printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr '/' '\\'; }

# On the caller's display when there is one, else on an Xvfb display of its own.
LX_DISPLAY="${DISPLAY:-}" LX_MONO_RUNTIME="$mono_runtime" "$env_script" start "$rundir" >/dev/null
trap '"$env_script" stop "$rundir" >/dev/null' EXIT

screenshot="$rundir/screenshot.png"
rm -f "$screenshot"
log="$rundir/clr-calls.jsonl"
rm -f "$log"
status=0
if [ -n "$mono_runtime" ]; then
    # Wine's rebuilt mscoree.dll hosts the runtime; the product's window is photographed and closed.
    "$env_script" exec "$rundir" "$build/bin/lxdriver.exe" --screenshot "$(windows_path "$screenshot")" \
        --close-window Lumenix --timeout 180000 "${driver_args[@]+"${driver_args[@]}"}" -- \
        "$(windows_path "$build/bin/Lumenix.exe")" || status=$?
else
    # The stand-in hosting library where the launcher looks for it, and a core assembly where the runtime's
    # default domain looks for it, should the product pack not be unpacked.
    cp "$build/standin/full/mscoree.dll" "$rundir/prefix/drive_c/windows/system32/mscoree.dll"
    appbase="$rundir/appbase"
    mkdir -p "$appbase"
    "$env_script" exec "$rundir" "$build/bin/lx_fake_assembly_writer.exe" \
        "$(windows_path "$appbase/Corvane.Platform.Tessarine.UI.Standalone.dll")"
    {
        echo "defaultDomain.base=$(windows_path "$appbase")"
        echo "entry.delayMs=2500"
        echo "entry.closeSplash=1"
        echo "log=$(windows_path "$log")"
        for line in "${scenario_lines[@]+"${scenario_lines[@]}"}"; do echo "$line"; done
    } >"$rundir/scenario.txt"
    LX_CLR_SCENARIO="$(windows_path "$rundir/scenario.txt")" WINEDLLOVERRIDES="mscoree=n" \
        "$env_script" exec "$rundir" "$build/bin/lxdriver.exe" --screenshot "$(windows_path "$screenshot")" \
        "${driver_args[@]+"${driver_args[@]}"}" -- "$(windows_path "$build/bin/Lumenix.exe")" || status=$?
fi
if [ -f "$log" ]; then
    echo "hosting calls: $(grep -o '"method":"[^"]*"' "$log" | cut -d'"' -f4 | tr '\n' ' ')"
    base=$(grep -o '"method":"put_ApplicationBase","value":"[^"]*"' "$log" | head -n 1 | cut -d'"' -f8)
    [ -n "$base" ] && echo "application base: ${base//\\\\/\\}"
fi
cache=$(find "$rundir/prefix/drive_c/users" -type d -path "*/Corvane/Lumenix/v*/ProductContentCache" 2>/dev/null | head -n 1)
if [ -n "$cache" ]; then
    echo "content cache: $cache"
    (cd "$cache" && find . -type f -printf '  %P (%s bytes)\n' | sort)
fi
if [ -f "$screenshot" ]; then
    echo "screenshot: $screenshot"
else
    echo "screenshot: none (the launcher ended before one was taken)"
fi
exit "$status"
