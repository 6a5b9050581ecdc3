#!/usr/bin/env bash
# The end-to-end table alone, on a build folder (default build): a private
# X server, sound server and session bus, then ctest -R e2e. Extra arguments go to ctest.
#   bash scripts/e2e.sh [build-folder] [ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
shift || true
cmake --build "$build" -j2 --target orv_e2e_windows_test
source scripts/sound-server.sh
source scripts/x-server.sh
source scripts/session-bus.sh
trap 'stop_sound_server; stop_x_server; stop_session_bus' EXIT
start_sound_server "$build/bin/orv_counting_signal"
start_x_server
start_session_bus
(cd "$build" && ctest --output-on-failure -R e2e "$@")
