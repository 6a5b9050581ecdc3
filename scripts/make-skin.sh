#!/usr/bin/env bash
# Draws the skin pictures again (assets/skin/*.jpg) with the generator in
# assets/skin/make_skin.cpp. Usage: scripts/make-skin.sh [BUILD_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target orv_make_skin
"$build/bin/orv_make_skin" "$root/assets/skin"
ls -l "$root/assets/skin"/*.jpg
