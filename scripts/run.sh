#!/usr/bin/env bash
# Sets up, builds and starts the wizard. Without a display it runs on a virtual X server,
# saves a screenshot of the window and closes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release
wizard="$PWD/build/release/bin/kvd_gen"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$wizard"
fi

shot="${KVD_SCREENSHOT:-$PWD/kvd_gen-screenshot.png}"
# Xvfb picks a free display itself and writes its number to descriptor 3 once it accepts clients.
displayfd=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfd" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$displayfd"' EXIT
for _ in $(seq 100); do [ -s "$displayfd" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -d '\n' <"$displayfd")"

"$wizard" &
app=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name "Kivador Setup Wizard" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "The wizard window did not appear." >&2
  kill "$app" 2>/dev/null || true
  exit 1
fi
sleep 1
import -window "$window" "$shot"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo "No display: the wizard ran on a virtual X server ($DISPLAY)."
echo "Screenshot of its window saved to $shot; the wizard was closed again."
