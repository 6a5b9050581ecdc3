#!/usr/bin/env bash
# Installs everything the tests need, builds, starts a private sound server
# with a null sink for the real-device tests, and runs every test with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

# The server and the counting signal (built above) stay up for the whole
# ctest run; the real-device tests skip, with a reason, when they cannot start.
source scripts/sound-server.sh
trap stop_sound_server EXIT
start_sound_server build/bin/orv_counting_signal || true

cd build
ctest --output-on-failure -j"$(nproc)" --timeout 900
