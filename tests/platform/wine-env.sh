#!/usr/bin/env bash
# The Wine environment of a test run: a throwaway prefix, its own Xvfb display and a persistent wineserver.
#   wine-env.sh start DIR         create DIR/prefix afresh, start Xvfb and wineserver, record them in DIR
#                                 (with LX_DISPLAY set, that display is used and no Xvfb is started; with
#                                 LX_MONO_RUNTIME set, the prefix hosts that runtime folder: see below;
#                                 LX_MONO_HOSTING=wine-clr2 takes that folder's second hosting library, the one of
#                                 a machine with only the CLR 2.0 generation; with LX_CRASH_DIALOG=1, Wine's
#                                 crash dialog stays on, as in a fresh prefix)
#   wine-env.sh stop DIR          stop the wineserver and the Xvfb that "start" recorded in DIR
#   wine-env.sh exec DIR PROG...  run a Windows program in that environment (its exit code passes through)
set -euo pipefail
# Never a silent end: a step that stops this script names itself.
trap 'echo "wine-env.sh: \"$BASH_COMMAND\" failed with status $? (line $LINENO)" >&2' ERR

# Wine names Unix files in the locale's character set: a file name beyond ASCII (a product's "docs\Übersicht")
# needs a UTF-8 one, as a Windows file system holds any name.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
fi

cmd=${1:?usage: wine-env.sh start|stop|exec DIR [PROGRAM ARGS...]}
dir=${2:?usage: wine-env.sh start|stop|exec DIR [PROGRAM ARGS...]}
shift 2
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
prefix="$dir/prefix"

stop_env() {
    if [ -d "$prefix" ]; then
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -f "$dir/xvfb.pid" ]; then
        local pid
        pid=$(cat "$dir/xvfb.pid")
        # Only the Xvfb this script started, and only while it still is one.
        if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "Xvfb" ]; then
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        fi
        rm -f "$dir/xvfb.pid"
    fi
    rm -f "$dir/env"
}

# Wine 10.0 defect: once a visible window covers the whole screen (a splash image larger than the display),
# win32u clips the cursor to it, the X11 driver's pointer grab is given up again at once, and the two post
# WM_WINE_CLIPCURSOR back and forth inside one PeekMessageW call, which then never returns (Wine 8.0 runs
# through). Without the X11 driver's pointer grab there is no such loop. Only on the Wine versions that have it.
work_around_fullscreen_clip_loop() {
    local major
    major=$(wine --version | sed -n 's/^wine-\([0-9]*\).*/\1/p')
    if [ -n "$major" ] && [ "$major" -ge 10 ]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v GrabPointer /d N /f </dev/null >>"$dir/wineboot.log" 2>&1
    fi
}

# A runtime folder from scripts/build-mono-runtime.sh: the runtime where Wine's mscoree.dll looks first, the
# rebuilt mscoree.dll and itss.dll in the system folder in place of the builtin ones, and Wine's fonts in the
# Windows font folder, where a Windows system has its own.
install_mono_runtime() {
    [ -n "${LX_MONO_RUNTIME:-}" ] || return 0
    local file hosting=${LX_MONO_HOSTING:-wine}
    for file in bin/libmono-2.0-x86_64.dll "$hosting/mscoree.dll" itss/itss.dll fonts/tahoma.ttf; do
        if [ ! -f "$LX_MONO_RUNTIME/$file" ]; then
            echo "LX_MONO_RUNTIME=$LX_MONO_RUNTIME holds no $file (scripts/build-mono-runtime.sh builds one)" >&2
            return 1
        fi
    done
    mkdir -p "$prefix/drive_c/windows/mono"
    ln -sfn "$LX_MONO_RUNTIME" "$prefix/drive_c/windows/mono/mono-2.0"
    cp "$LX_MONO_RUNTIME/$hosting/mscoree.dll" "$prefix/drive_c/windows/system32/mscoree.dll"
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v mscoree /d native /f </dev/null >>"$dir/wineboot.log" 2>&1
    # The storage component mended to list and open nested storages by their element names.
    cp "$LX_MONO_RUNTIME/itss/itss.dll" "$prefix/drive_c/windows/system32/itss.dll"
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v itss /d native /f </dev/null >>"$dir/wineboot.log" 2>&1
    cp "$LX_MONO_RUNTIME"/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
    if [ "$hosting" = wine-clr2 ]; then
        # Such a machine has the .NET Framework 3.5 on the CLR 2.0, as its setup registers them.
        local ndp='HKLM\Software\Microsoft\NET Framework Setup\NDP' version
        for version in v2.0.50727:2.0.50727.4927 v3.0:3.0.30729.4926 v3.5:3.5.30729.4926; do
            wine reg add "$ndp\\${version%%:*}" /v Install /t REG_DWORD /d 1 /f </dev/null >>"$dir/wineboot.log" 2>&1
            wine reg add "$ndp\\${version%%:*}" /v Version /d "${version#*:}" /f </dev/null >>"$dir/wineboot.log" 2>&1
        done
    fi
}

# One line on how a program under "exec" ended: its status (as a signal when one killed the Wine process) and
# how long it ran.
report_exit() {
    local status=$1 started_ms=$2 how
    shift 2
    how="exit status $status"
    if [ "$status" -gt 128 ] && [ "$status" -lt 160 ]; then
        how="$how (signal $(kill -l $((status - 128)) 2>/dev/null || echo $((status - 128))))"
    fi
    echo "wine-env.sh exec: $1 ended with $how after $(($(date +%s%3N) - started_ms)) ms"
}

case "$cmd" in
start)
    stop_env
    rm -rf "$prefix" "$dir/display"
    if [ -n "${LX_DISPLAY:-}" ]; then
        display="$LX_DISPLAY"
    else
        # Xvfb picks a free display number itself and writes it to fd 3.
        setsid Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset \
            3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
        echo $! >"$dir/xvfb.pid"
        for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
        if [ ! -s "$dir/display" ]; then
            echo "Xvfb did not start (see $dir/xvfb.log)" >&2
            stop_env
            exit 1
        fi
        display=":$(head -n 1 "$dir/display" | tr -d '[:space:]')"
    fi
    export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY="$display"
    mkdir -p "$prefix"
    wineserver -p </dev/null >/dev/null 2>&1
    # Without the runtime and browser installers' prompts.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
    # Unmanaged windows: without a window manager every closing box would otherwise wait about two seconds.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$dir/wineboot.log" 2>&1
    # A program that crashes ends with its exception code, as on a Windows machine without an error dialog,
    # instead of waiting in Wine's crash dialog for a user (unless LX_CRASH_DIALOG=1 asks for a fresh prefix's).
    crash_dialog=0
    if [ "${LX_CRASH_DIALOG:-}" = 1 ]; then crash_dialog=1; fi
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d "$crash_dialog" /f </dev/null \
        >>"$dir/wineboot.log" 2>&1
    work_around_fullscreen_clip_loop
    install_mono_runtime
    printf 'export WINEPREFIX=%q DISPLAY=%q\n' "$prefix" "$display" >"$dir/env"
    echo "Wine prefix $prefix ready on display $display"
    ;;
stop)
    stop_env
    echo "Wine environment in $dir stopped"
    ;;
exec)
    if [ ! -f "$dir/env" ]; then
        echo "no Wine environment in $dir: run 'wine-env.sh start $dir' first" >&2
        exit 1
    fi
    # shellcheck disable=SC1091
    . "$dir/env"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mshtml=}"
    started_ms=$(date +%s%3N)
    status=0
    wine "$@" || status=$?
    # A program that fails says why itself; one that dies before it can (in Wine's loader, or before main) would
    # otherwise leave a failure with no output at all.
    if [ "$status" -ne 0 ]; then
        report_exit "$status" "$started_ms" "$@" >&2
    fi
    exit "$status"
    ;;
*)
    echo "unknown command $cmd" >&2
    exit 2
    ;;
esac
