#!/usr/bin/env bash
# The Windows viewer's size, its imported libraries and its start to window shown under Wine against
# a bare window program (both from the same cross build).
#   bash bench/win/viewer_bench.sh [BUILD_DIR] [ROUNDS]     (default: build/release, 15 rounds)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
rounds=${2:-15}
win="$build/win"
session="$root/viewer/win/tests/wine_session.sh"
state="$win/wine"

echo "kvd.exe: $(stat -c %s "$win/kvd.exe") bytes"
echo "imports:" $(x86_64-w64-mingw32-objdump -p "$win/kvd.exe" | sed -n 's/^\s*DLL Name: //p')

"$session" "$state" start
trap '"$session" "$state" stop' EXIT
runs="$state/bench"
rm -rf "$runs"
mkdir -p "$runs"
cp "$win/kvd.exe" "$win/bench/kvd_win_bare_window.exe" "$runs/"
printf '<!DOCTYPE html><html><head><title>Start</title></head><body>Start</body></html>' >"$runs/index.htm"
to_wine() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
"$session" "$state" run "$win/bench/kvd_win_start_bench.exe" "$rounds" "$(to_wine "$runs/kvd.exe")" \
    "$(to_wine "$runs/kvd_win_bare_window.exe")"
