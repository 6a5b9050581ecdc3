#!/usr/bin/env bash
# Makes assets/screenshots/editor.png: the editor window over a made-up
# 2.5-minute recording with a selection, drawn under a virtual X server.
# Usage: scripts/screenshot-editor.sh [build folder]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
command -v xvfb-run >/dev/null || { echo "screenshot-editor.sh: install xvfb (scripts/install-deps.sh --test)" >&2; exit 1; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orv-editor-shot-XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
cmake --build "$build" --target orv_editor_screenshot >"$scratch/build.log" 2>&1 ||
  { cat "$scratch/build.log" >&2; exit 1; }
mkdir -p "$root/assets/screenshots"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/bin/orv_editor_screenshot" "$root/assets/screenshots/editor.png" "$scratch"
