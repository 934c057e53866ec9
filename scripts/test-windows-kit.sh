#!/usr/bin/env bash
# The acceptance kit's leg: makes the kit, then runs it as a vendor runs it on a Windows machine. Only the zip
# goes into a fresh Wine prefix, unpacked into a folder of its own on drive C:; the prefix hosts the real runtime of
# scripts/build-mono-runtime.sh as its CLR; lxkit.exe starts with none of the build's environment. Afterwards the
# leg checks that the kit left nothing behind outside its own folder. The start benchmark follows the cases with 3
# runs of each start; its report is shown, its figures are not judged, but a benchmark that could not run fails the leg.
#   scripts/test-windows-kit.sh [PATTERN...]      (the patterns go to lxkit.exe, e.g. 'Splash*')
#   LX_CRASH_DIALOG=1 scripts/test-windows-kit.sh (the prefix keeps Wine's crash dialog on, as a new user's has it)
# The last line is lxkit.exe's own: "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)
build="$checkout/build/mingw-x64"

die() {
    echo "test-windows-kit.sh: $*" >&2
    exit 1
}

scripts/install-deps.sh unzip
runtime=$(scripts/build-mono-runtime.sh | tee /dev/stderr | tail -n 1)
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target acceptance_kit
version=$(sed -n 's/^LUMENIX_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
kit_name="Lumenix-kit-$version"
zip="$build/$kit_name.zip"
[ -f "$zip" ] || die "the build made no $zip"

machine=$(mktemp -d /tmp/lumenix-kit-machine.XXXXXX)
cleanup() {
    "$checkout/tests/platform/wine-env.sh" stop "$machine" >/dev/null 2>&1 || true
    rm -rf "$machine"
}
trap cleanup EXIT
LX_MONO_RUNTIME="$runtime" tests/platform/wine-env.sh start "$machine"
# shellcheck disable=SC1091
. "$machine/env"

# Only what a Windows machine gives a program: Wine's own settings, a display, a home, and a UTF-8 locale, in
# which Wine can name any file as Windows can.
run_on_machine() {
    env -i HOME="$HOME" USER="${USER:-root}" PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$DISPLAY" LANG=C.UTF-8 \
        WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all "$@"
}

# Not the user's Downloads folder: Wine links that to the Unix home. A name with a blank, as vendors' folders have.
place='C:\Vendor checks'
place_unix="$WINEPREFIX/drive_c/Vendor checks"
temp=$(run_on_machine wine cmd /c 'echo %TEMP%' </dev/null | tr -d '\r')
temp_unix=$(run_on_machine winepath -u "$temp" | tr -d '\r')
mkdir -p "$place_unix"
unzip -q "$zip" -d "$place_unix"
kit="$place_unix/$kit_name"
[ -f "$kit/lxkit.exe" ] || die "$zip holds no $kit_name/lxkit.exe"

temp_before=$(ls -A "$temp_unix")
marker="$machine/before-the-kit"
touch "$marker"
sleep 1
echo "Running the kit in $place\\$kit_name (Wine prefix $WINEPREFIX)"
status=0
run_on_machine wine "$place\\$kit_name\\lxkit.exe" --start-runs 3 "$@" </dev/null || status=$?

# The kit writes below its own folder, and into a scratch folder under TEMP that it removes again.
left=$(find "$WINEPREFIX/drive_c" -type f -newer "$marker" -not -path "$kit/*" | sed "s|^$WINEPREFIX/||")
if [ -n "$left" ]; then
    echo "test-windows-kit.sh: the kit wrote outside its folder:" >&2
    echo "$left" >&2
    status=1
fi
if [ "$(ls -A "$temp_unix")" != "$temp_before" ]; then
    echo "test-windows-kit.sh: the kit left something in $temp: $(ls -A "$temp_unix" | tr '\n' ' ')" >&2
    status=1
fi
if run_on_machine wine reg query 'HKCU\Software\LumenixTests' </dev/null >/dev/null 2>&1; then
    echo "test-windows-kit.sh: the kit left HKEY_CURRENT_USER\\Software\\LumenixTests behind" >&2
    status=1
fi

# A fresh folder: no report of an earlier run stands in for one this run did not write.
rm -rf "$build/kit-reports"
mkdir -p "$build/kit-reports"
for report in lxkit-report.txt lxkit-report.xml lxkit-start.txt; do
    cp "$kit/$report" "$build/kit-reports/" 2>/dev/null || echo "test-windows-kit.sh: the kit wrote no $report" >&2
done
start_report="$build/kit-reports/lxkit-start.txt"
if [ -f "$start_report" ]; then
    echo
    sed '1s/^\xEF\xBB\xBF//' "$start_report" | tr -d '\r'
    echo
fi
# The figures are the runtime's and Wine's, not judged here; that the benchmark ran and gave each median is.
median='^(first pixel|managed entry|main window|peak working set) \((ms|MiB)\)( +[0-9]+\.[0-9]){3}$'
if [ "$(tr -d '\r' 2>/dev/null <"$start_report" | grep -cE "$median")" != 4 ]; then
    echo "test-windows-kit.sh: the start benchmark gave not every median (see $start_report)" >&2
    status=1
fi
echo "Reports: $build/kit-reports/lxkit-report.txt, .xml and lxkit-start.txt"
tail -n 1 "$kit/lxkit-report.txt" 2>/dev/null || echo "0 passed, 1 failed"
exit "$status"
