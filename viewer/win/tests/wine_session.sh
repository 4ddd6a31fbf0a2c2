#!/usr/bin/env bash
# The Wine side of the Windows tests: one prefix per build folder, a virtual X server and a
# persistent Wine server shared by every test of a run.
#   wine_session.sh STATE start RECORDER   make the prefix once, start Xvfb and the Wine server
#   wine_session.sh STATE stop             stop both
#   wine_session.sh STATE run PROGRAM ...  run a Windows program in that session (the test emulator)
set -euo pipefail

state=$1
action=$2
shift 2
export WINEPREFIX="$state/prefix"
# Quiet: the tests read exit codes and files, not Wine's diagnostics.
export WINEDEBUG=-all
# Debian installs the 64-bit loader outside PATH; the wine wrapper finds it.
wine=(wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

make_prefix() {
    local recorder=$1
    rm -rf "$WINEPREFIX"
    mkdir -p "$state"
    # The browser engine's installer would otherwise ask to download during the first start.
    WINEDLLOVERRIDES="mscoree,mshtml=" "${wine[@]}" wineboot -i >/dev/null 2>&1
    local recorder_win
    recorder_win=$(printf 'Z:%s' "$recorder" | sed 's|/|\\\\|g')
    {
    cat <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]
"winedbg.exe"=""

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]
"x:"="cdrom"
REG
    # The stand-in for the reader's browser and mail program, for the tests that need one.
    [ -z "$recorder" ] || cat <<REG

[HKEY_CLASSES_ROOT\\.htm]
@="htmlfile"

[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]
@="\\"$recorder_win\\" \\"%1\\""

[HKEY_CLASSES_ROOT\\http\\shell\\open\\command]
@="\\"$recorder_win\\" \\"%1\\""

[HKEY_CLASSES_ROOT\\https\\shell\\open\\command]
@="\\"$recorder_win\\" \\"%1\\""

[HKEY_CLASSES_ROOT\\mailto\\shell\\open\\command]
@="\\"$recorder_win\\" \\"%1\\""
REG
    } >"$state/setup.reg"
    "${wine[@]}" regedit /S "$(printf 'Z:%s' "$state/setup.reg" | sed 's|/|\\|g')" >/dev/null 2>&1
    "$wineserver" -w
    # The simulated CD: drive X: is a folder of the build, typed as a CD-ROM above.
    mkdir -p "$state/cd"
    ln -sfn "$state/cd" "$WINEPREFIX/dosdevices/x:"
    touch "$WINEPREFIX/.kvd-ready"
}

case "$action" in
start)
    recorder=${1:-}
    if [ ! -e "$WINEPREFIX/.kvd-ready" ] ||
        [ "$0" -nt "$WINEPREFIX/.kvd-ready" ]; then
        make_prefix "$recorder"
    fi
    # Leftovers of a run that was cut off would hold the prefix.
    "$0" "$state" stop || true
    rm -f "$state/display"
    # The servers must not hold the test's output pipes open, or CTest waits for them.
    setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/display" </dev/null >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do
        [ -s "$state/display" ] && break
        sleep 0.1
    done
    [ -s "$state/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    setsid "$wineserver" -p </dev/null >/dev/null 2>&1
    ;;
stop)
    "$wineserver" -k 2>/dev/null || true
    if [ -s "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    ;;
run)
    [ -s "$state/display" ] || { echo "no Wine session: run the start test first" >&2; exit 1; }
    export DISPLAY=":$(cat "$state/display")"
    export KVD_WINE_STATE="$state"
    # Wine's own service processes start with the first program of a session and outlive it; on a
    # file of its own they cannot hold the test's output pipe open after the program has ended.
    output=$(mktemp "$state/run.XXXXXX")
    status=0
    "${wine[@]}" "$@" >"$output" 2>&1 </dev/null || status=$?
    cat "$output"
    rm -f "$output"
    exit "$status"
    ;;
*)
    echo "unknown action: $action" >&2
    exit 2
    ;;
esac
