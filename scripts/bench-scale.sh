#!/usr/bin/env bash
# Times the launcher's extraction of products as vendors ship them, at three sizes: folders of 300, 1,000 and
# 3,000 files (about 25, 85 and 250 MB) in sub-folders up to six levels deep, made by
# packbuild/make-bench-folder.py --subfolders. For each size it builds the pack (timed) and a launcher and a
# benchmark program that carry it, then runs, interleaved, the launcher's code cold and warm, the bare walks
# through the same storage component that do the same file work, and an idle process, and reports the medians:
# time (whole process and in-process), peak working set, their ratios and the targets; the cold start with the
# splash up, with and without its progress bar; and the time one drawing of the bar takes, with its share of a
# first start. Last it draws the start time against the file count (gnuplot).
#   scripts/bench-scale.sh [RUNS]          RUNS per size, default 3
#   LX_BENCH_SIZES="300:25 1000:85"        other sizes (files:MB)
# Nested packs need the storage component of the runtime build (scripts/build-mono-runtime.sh), which the
# benchmark's Wine prefix gets with the runtime. Everything lands in build/bench-scale/.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
sizes=${LX_BENCH_SIZES:-"300:25 1000:85 3000:250"}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench-scale.sh: RUNS must be a positive number, not '$runs'" >&2; exit 2; }

scripts/install-deps.sh gnuplot-nox
runtime=$(scripts/build-mono-runtime.sh | tail -n 1)
bench=build/bench-scale
mkdir -p "$bench"
env_script=tests/platform/wine-env.sh
windows_path() { printf 'Z:%s' "$(cd "$1" && pwd)" | tr '/' '\\'; }
milliseconds() { date +%s%3N; }

# build_size FILES MB: the folder, the pack (its build timed into $bench/FILES/pack-seconds) and the programs.
build_size() {
    local files=$1 mb=$2 out="$bench/$1" started
    mkdir -p "$out"
    [ -d "$out/folder" ] || python3 packbuild/make-bench-folder.py "$out/folder" --files "$files" --size-mb "$mb" \
        --subfolders >/dev/null
    cmake --preset mingw-x64 -B "$out/tree" -DLUMENIX_PACK_DIR="$PWD/$out/folder" >/dev/null
    cmake --build "$out/tree" --target lx_itsfpack >/dev/null
    rm -f "$out/tree/pack/ProductContent.chm"
    started=$(milliseconds)
    cmake --build "$out/tree" --target lx_product_pack >/dev/null
    echo "$(($(milliseconds) - started))" >"$out/pack-ms"
    cmake --build "$out/tree" --target lx_pack_bench Lumenix -j2 >/dev/null
}

# run_once FILES LABEL MODE: one whole-process run, appended to $bench/FILES/LABEL.txt as
# "process-seconds peak-working-set-MiB in-process-seconds".
run_once() {
    local out="$bench/$1" label=$2 mode=$3
    /usr/bin/time -f "%e" -o "$out/time.txt" \
        "$env_script" exec "$bench/wine" "$out/tree/bin/lx_pack_bench.exe" "$mode" \
        "$(windows_path "$out/scratch")" >"$out/run.txt"
    grep -q " ok " "$out/run.txt" || { cat "$out/run.txt"; echo "bench-scale.sh: run failed: $mode ($1 files)" >&2; exit 1; }
    echo "$(cat "$out/time.txt") $(awk '{print $6, $3}' "$out/run.txt")" >>"$out/$label.txt"
}

measure_size() {
    local files=$1 out="$bench/$1" label
    for label in launcher-cold bare-cold launcher-warm bare-warm idle splash-bar splash-nobar bar-draws; do
        : >"$out/$label.txt"
    done
    local run splash_modes mode
    for run in $(seq "$runs"); do
        rm -rf "$out/scratch"; mkdir -p "$out/scratch"
        run_once "$files" launcher-cold launcher   # first start: the pack file and every stream are written
        run_once "$files" launcher-warm launcher   # later start: nothing to write
        rm -rf "$out/scratch"; mkdir -p "$out/scratch"
        run_once "$files" bare-cold bare-cold
        run_once "$files" bare-warm bare-warm
        run_once "$files" idle idle
        # With and without the bar in turns, each first every other run, so that a drift favours neither.
        splash_modes="splash-bar:launcher-splash splash-nobar:launcher-splash-nobar"
        if [ $((run % 2)) -eq 0 ]; then
            splash_modes="splash-nobar:launcher-splash-nobar splash-bar:launcher-splash"
        fi
        for mode in $splash_modes; do
            rm -rf "$out/scratch"; mkdir -p "$out/scratch"
            run_once "$files" "${mode%%:*}" "${mode#*:}"
        done
        run_once "$files" bar-draws bar-draws
    done
    rm -rf "$out/scratch"
}

for size in $sizes; do
    echo "building the folder of ${size%%:*} files (${size#*:} MB), its pack and programs"
    build_size "${size%%:*}" "${size#*:}"
done
LX_DISPLAY="" LX_MONO_RUNTIME="$runtime" "$env_script" start "$bench/wine" >/dev/null
trap '"$env_script" stop "$bench/wine" >/dev/null' EXIT
for size in $sizes; do
    echo "measuring ${size%%:*} files, $runs runs"
    measure_size "${size%%:*}"
done

python3 - "$bench" "$runs" $sizes <<'PY'
import os, statistics, sys
bench, runs, sizes = sys.argv[1], int(sys.argv[2]), [s.split(":")[0] for s in sys.argv[3:]]
labels = ["launcher-cold", "bare-cold", "launcher-warm", "bare-warm", "idle"]
BAR_DRAWS = 100          # lx_pack_bench bar-draws: the drawings timed in one run
BAR_SHOWS_AFTER_S = 1.0  # the bar shows once the unpacking has run this long,
BAR_DRAW_EVERY_S = 0.25  # and is drawn again at most this often

def medians(files, label):
    runs = [list(map(float, line.split())) for line in open(os.path.join(bench, files, label + ".txt")) if line.strip()]
    return [statistics.median(column) for column in zip(*runs)]

def values(files, label, index):
    return [float(line.split()[index]) for line in open(os.path.join(bench, files, label + ".txt")) if line.strip()]

def size_mb(path):
    return os.path.getsize(path) / 1048576

def folder_mb(files):
    return sum(os.path.getsize(os.path.join(root, name)) for root, _, names in os.walk(os.path.join(bench, files, "folder"))
               for name in names) / 1048576

plot = open(os.path.join(bench, "plot.dat"), "w")
print("medians; time in s (whole process / in-process), peak working set in MiB")
print(f"{'files':>6} {'folder MB':>9} {'pack MB':>8} {'exe MB':>7} {'pack build s':>12} |"
      f" {'cold':>13} {'bare cold':>13} {'ratio':>11} | {'warm':>13} {'bare warm':>13} {'ratio':>11} |"
      f" {'WS cold':>7} {'bare':>6} {'above':>6} {'WS - exe':>8}")
verdicts = []
for files in sizes:
    r = {label: medians(files, label) for label in labels}
    exe = size_mb(os.path.join(bench, files, "tree", "bin", "Lumenix.exe"))
    pack = size_mb(os.path.join(bench, files, "tree", "pack", "ProductContent.chm"))
    pack_s = int(open(os.path.join(bench, files, "pack-ms")).read()) / 1000
    cells = []
    for kind in ("cold", "warm"):
        launcher, bare = r["launcher-" + kind], r["bare-" + kind]
        ratio_process, ratio_inner = launcher[0] / bare[0], launcher[2] / bare[2]
        cells.append(f"{launcher[0]:6.2f}/{launcher[2]:6.2f} {bare[0]:6.2f}/{bare[2]:6.2f} {ratio_process:5.2f}/{ratio_inner:5.2f}")
        verdicts.append(f"{files} files {kind}: launcher / bare walk {ratio_inner:.3f} in-process, {ratio_process:.3f} whole"
                        f" process   target at most 1.10: {'met' if ratio_inner <= 1.10 else 'MISSED'}")
    ws, bare_ws = r["launcher-cold"][1], r["bare-cold"][1]
    verdicts.append(f"{files} files peak working set: {ws - bare_ws:+.1f} MiB above the bare walk   target at most 16 MiB:"
                    f" {'met' if ws - bare_ws <= 16 else 'MISSED'}; {ws - exe:.1f} MiB beside the {exe:.1f} MiB image")
    print(f"{files:>6} {folder_mb(files):9.1f} {pack:8.1f} {exe:7.1f} {pack_s:12.1f} | {cells[0]} | {cells[1]} |"
          f" {ws:7.1f} {bare_ws:6.1f} {ws - bare_ws:+6.1f} {ws - exe:8.1f}")
    plot.write(f"{files} {r['launcher-cold'][0]} {r['bare-cold'][0]} {r['launcher-warm'][0]} {r['bare-warm'][0]}\n")
    bar, nobar = medians(files, "splash-bar")[2], medians(files, "splash-nobar")[2]
    pairs = zip(values(files, "splash-bar", 2), values(files, "splash-nobar", 2))
    paired = statistics.median(b - n for b, n in pairs)
    verdicts.append(f"{files} files first start with the splash up: {bar:.3f} s with the progress bar, {nobar:.3f} s"
                    f" without; the median of the {runs} runs' differences {100 * paired / nobar:+.1f} %")
    draw_s = medians(files, "bar-draws")[2] / BAR_DRAWS
    draws = int((nobar - BAR_SHOWS_AFTER_S) / BAR_DRAW_EVERY_S) + 1 if nobar > BAR_SHOWS_AFTER_S else 0
    share = 100 * draws * draw_s / nobar
    verdicts.append(f"{files} files progress bar's own time: {1000 * draw_s:.2f} ms a drawing, at most {draws} drawings in"
                    f" that start: at most {share:.1f} %   target at most 2 %: {'met' if share <= 2 else 'MISSED'}")
plot.close()
print()
print("\n".join(verdicts))
PY

gnuplot <<EOF
set terminal pngcairo size 800,480 font "DejaVu Sans,10"
set output "$bench/start-time.png"
set title "Lumenix launcher: start time against the number of files in the pack (medians of $runs runs, Wine)"
set xlabel "files in the pack (sub-folders up to six levels deep)"
set ylabel "whole process, s"
set key top left
set grid
plot "$bench/plot.dat" using 1:2 with linespoints title "launcher, first start", \
     "" using 1:3 with linespoints dashtype 2 title "bare walk, first start", \
     "" using 1:4 with linespoints title "launcher, later start", \
     "" using 1:5 with linespoints dashtype 2 title "bare walk, later start"
EOF
echo "plot: $bench/start-time.png"
