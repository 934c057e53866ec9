#!/usr/bin/env bash
# Times the extraction of a realistic product pack (about 20 MB in about 300 files) by the launcher's code
# against bare walks through the same component that do the same file work, cold and warm, and reports the
# peak memory of the cold run. Medians of 5 whole-process runs under Wine.
#   scripts/bench-pack.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

scripts/install-deps.sh
bench=build/bench
mkdir -p "$bench"
[ -d "$bench/folder" ] || python3 packbuild/make-bench-folder.py "$bench/folder"
cmake --preset mingw-x64 -B "$bench/tree" -DLUMENIX_PACK_DIR="$PWD/$bench/folder" >/dev/null
cmake --build "$bench/tree" --target lx_pack_bench -j2 >/dev/null
exe="$bench/tree/bin/lx_pack_bench.exe"
pack="$bench/tree/pack/ProductContent.chm"
echo "pack: $(du -b "$pack" | cut -f1) bytes, from $(find "$bench/folder" -type f | wc -l) files of $(du -sb "$bench/folder" | cut -f1) bytes"

env_script=tests/platform/wine-env.sh
"$env_script" start "$bench/wine" >/dev/null
trap '"$env_script" stop "$bench/wine" >/dev/null' EXIT
scratch="$bench/scratch"
windows_path() { printf 'Z:%s' "$(cd "$1" && pwd)" | tr '/' '\\'; }

# One whole-process run, appended to $bench/<label>.txt as
# "process-seconds max-rss-KiB peak-working-set-MiB in-process-seconds".
run_once() {
    local label=$1 mode=$2
    /usr/bin/time -f "%e %M" -o "$bench/time.txt" \
        "$env_script" exec "$bench/wine" "$exe" "$mode" "$(windows_path "$scratch")" >"$bench/run.txt"
    grep -q " ok " "$bench/run.txt" || { cat "$bench/run.txt"; echo "run failed: $mode" >&2; exit 1; }
    echo "$(cat "$bench/time.txt") $(awk '{print $6, $3}' "$bench/run.txt")" >>"$bench/$label.txt"
}

labels="launcher-cold bare-cold launcher-warm bare-warm idle"
for label in $labels; do : >"$bench/$label.txt"; done
for _ in $(seq "$runs"); do
    rm -rf "$scratch"; mkdir -p "$scratch"
    run_once launcher-cold launcher   # first start: the pack file and every stream are written
    run_once launcher-warm launcher   # later start: nothing to write
    rm -rf "$scratch"; mkdir -p "$scratch"
    run_once bare-cold bare-cold
    run_once bare-warm bare-warm
    run_once idle idle
done

python3 - "$bench" "$pack" $labels <<'PY'
import os, statistics, sys
bench, pack, labels = sys.argv[1], sys.argv[2], sys.argv[3:]
rows = {}
for label in labels:
    runs = [list(map(float, line.split())) for line in open(os.path.join(bench, label + ".txt")) if line.strip()]
    rows[label] = [statistics.median(column) for column in zip(*runs)]
print(f"{'run':<14} {'process s':>10} {'in-process s':>13} {'max RSS MiB':>12} {'peak working set MiB':>21}")
for label in labels:
    seconds, rss, working, inner = rows[label]
    print(f"{label:<14} {seconds:10.3f} {inner:13.3f} {rss / 1024:12.1f} {working:21.1f}")
for kind in ("cold", "warm"):
    launcher, bare = rows["launcher-" + kind], rows["bare-" + kind]
    print(f"{kind} ratio (launcher / bare): whole process {launcher[0] / bare[0]:.3f}, in-process {launcher[3] / bare[3]:.3f}"
          f"   target <= 1.10")
pack_mib = os.path.getsize(pack) / 1048576
idle = rows["idle"][2]
cold = rows["launcher-cold"][2]
print(f"cold peak working set: {cold:.1f} MiB, of which {idle:.1f} MiB is the idle process: {cold - idle:.1f} MiB for the"
      f" extraction   target <= pack {pack_mib:.1f} MiB + 16 MiB = {pack_mib + 16:.1f} MiB")
PY
