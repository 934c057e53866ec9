#!/usr/bin/env bash
# Times the start of the sample product on the real runtime (scripts/build-mono-runtime.sh) as a user sees it:
# Lumenix.exe, cold (empty content cache) and warm, against the plain managed exe that a vendor would ship
# instead (LumenixPlain.exe beside the product's assemblies, started through _CorExeMain of Wine's hosting
# library). Prints every run, then medians of RUNS interleaved whole-process runs of each side under Wine, their
# ratios and the targets:
#   the launcher's warm entry at most 1.10 times the plain exe's;
#   its first pixel at least 5 times sooner than the plain exe's first window;
#   its cold entry no more above the plain exe's than the cold extraction of scripts/bench-pack.sh costs.
#   scripts/bench-start.sh [RUNS]        (default 11)
# Runs in a Wine prefix and on an Xvfb display of its own (build/mingw-x64/start-bench), which it stops again.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-11}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench-start.sh: RUNS must be a positive number, not '$runs'" >&2; exit 2; }

build=build/mingw-x64
bench="$build/start-bench"
env_script=tests/platform/wine-env.sh

scripts/install-deps.sh
runtime=$(scripts/build-mono-runtime.sh | tail -n 1)
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target Lumenix lx_sample_plain lx_start_watch >/dev/null

# The cold extraction of the realistic pack, the bound of the cold start's cost above the plain exe.
pack_figures=$(scripts/bench-pack.sh "$runs")
extraction=$(awk '$1 == "launcher-cold" { print $3 }' <<<"$pack_figures")
[ -n "$extraction" ] || { echo "$pack_figures"; echo "bench-start.sh: no launcher-cold row from scripts/bench-pack.sh" >&2; exit 1; }

# Always a display of its own: other windows on a shared one would disturb the timing.
LX_DISPLAY="" LX_MONO_RUNTIME="$runtime" "$env_script" start "$bench" >/dev/null
trap '"$env_script" stop "$bench" >/dev/null' EXIT
# Both sides start from the same drive of the prefix.
drive_c="$bench/prefix/drive_c"
mkdir -p "$drive_c/Launcher"
cp -r "$build/sample-plain" "$drive_c/Plain"
cp "$build/bin/Lumenix.exe" "$drive_c/Launcher/"

"$env_script" exec "$bench" "$build/bin/lx_start_watch.exe" "$runs" '%TEMP%\lx-entry-stamp.txt' \
    '%TEMP%\Corvane\Lumenix' 'C:\Plain\LumenixPlain.exe' 'C:\Launcher\Lumenix.exe' | tr -d '\r' >"$bench/runs.txt" ||
    { cat "$bench/runs.txt"; echo "bench-start.sh: a run missed a figure or failed (above)" >&2; exit 1; }

# Where a warm start's time goes: one more warm run, headless, with the timestamps of Wine's loader and hosting
# library channels.
(
    . "$bench/env"
    LUMENIX_HEADLESS=1 WINEDEBUG=+timestamp,+loaddll,+mscoree wine 'C:\Launcher\Lumenix.exe' 2>&1 >/dev/null
) >"$bench/trace.txt" || { tail -n 20 "$bench/trace.txt"; echo "bench-start.sh: the traced run failed" >&2; exit 1; }

python3 - "$bench/runs.txt" "$extraction" "$(basename "$runtime")" "$bench/trace.txt" <<'PY'
import statistics, sys
path, extraction, runtime, trace = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4]
labels = ("plain", "launcher-cold", "launcher-warm")
columns = ("first pixel", "entry", "main window", "peak WS")
runs = {label: [] for label in labels}
for line in open(path):
    print(line.rstrip())
    if not line.startswith("run "):
        continue
    _, round_, label, *figures = line.split()
    if int(round_) > 0:  # round 0 readies the desktop and the caches
        runs[label].append([float(value) for value in figures[:4]])
median = {label: [statistics.median(column) for column in zip(*rows)] for label, rows in runs.items()}
print(f"\nruntime {runtime}; medians of {len(runs['plain'])} runs, ms from process creation (peak working set MiB)")
print(f"{'':<15}" + "".join(f"{name:>13}" for name in columns))
for label in labels:
    print(f"{label:<15}" + "".join(f"{value:13.1f}" for value in median[label]))
plain, cold, warm = median["plain"], median["launcher-cold"], median["launcher-warm"]
ratios = [
    ("warm entry / plain entry", warm[1] / plain[1], "at most 1.10", warm[1] / plain[1] <= 1.10),
    ("cold entry / plain entry", cold[1] / plain[1], "", None),
    ("plain first window / launcher first pixel (warm)", plain[0] / warm[0], "at least 5",
     plain[0] / warm[0] >= 5),
    ("plain first window / launcher first pixel (cold)", plain[0] / cold[0], "at least 5",
     plain[0] / cold[0] >= 5),
]
print()
for name, value, target, met in ratios:
    verdict = "" if met is None else f"  target {target}: {'met' if met else 'MISSED'}"
    print(f"{name:<50} {value:7.3f}{verdict}")
over = cold[1] - plain[1]
print(f"{'cold entry above plain entry':<50} {over:7.1f} ms  target at most the cold extraction of "
      f"scripts/bench-pack.sh, {extraction * 1000:.1f} ms: {'met' if over <= extraction * 1000 else 'MISSED'}")

steps = [
    ("Lumenix.exe mapped", 'Loaded L"C:\\\\Launcher\\\\Lumenix.exe"'),
    ("hosting library loaded (the splash is up)", "mscoree:DllMain"),
    ("runtime started (its default domain made)", "RuntimeHost_GetDefaultDomain setting base_dir"),
    ("content cache ready, domain setup asked for", "corruntimehost_CreateDomainSetup"),
    ("domain Entryway made", "RuntimeHost_AddDomain returning"),
    ("product returned, runtime stopped", "corruntimehost_Stop"),
]
seen = {}
for line in open(trace, errors="replace"):
    for name, mark in steps:
        if name not in seen and mark in line:
            seen[name] = float(line.split(":", 1)[0])
print("\nsteps of one warm headless launcher run (Wine's loaddll and mscoree channels), ms from the exe's mapping")
for name, _ in steps:
    if name in seen and steps[0][0] in seen:
        print(f"  {name:<50} {(seen[name] - seen[steps[0][0]]) * 1000:7.1f}")
    else:
        print(f"  {name:<50}       -")
PY
