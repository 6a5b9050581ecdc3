#!/usr/bin/env bash
# Makes assets/screenshots/main-window.png: the main window under Xvfb while
# it records a tone from the test command's private PulseAudio null sink; and
# assets/screenshots/main-menu.png: its File menu opened during that recording.
# Usage: scripts/screenshot-main.sh [BUILD_FOLDER] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-50}
for tool in xvfb-run sox pulseaudio pacat; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (bash scripts/install-deps.sh --test)" >&2; exit 1; }
done
cmake --build "$build" --target orv_screenshot

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-screenshot-XXXXXX")
# Two tones, slowly swelling and fading, the right one softer, so that the
# meters and both traces of the waveform have something to show.
cat >"$work/tone" <<'TONE'
#!/bin/sh
exec sox -q -n -t raw -r 44100 -e signed-integer -b 16 -c 2 - \
  synth 3600 sine 330 sine 495 tremolo 0.15 85 vol 0.9 remix 1 2v0.6
TONE
chmod +x "$work/tone"

source "$root/scripts/sound-server.sh"
trap 'stop_sound_server; rm -rf "$work"' EXIT
start_sound_server "$work/tone"

mkdir -p "$root/assets/screenshots"
xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/bin/orv_screenshot" "$root/assets/screenshots/main-window.png" "$seconds" \
  "$root/assets/screenshots/main-menu.png"
echo "written: assets/screenshots/main-window.png, assets/screenshots/main-menu.png"
