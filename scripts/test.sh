#!/usr/bin/env bash
# Installs everything the tests need, builds, starts a private sound server
# with a null sink for the real-device tests, and runs every test with ctest:
# first the normal build, then a second build of every test under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang) whose fuzzers run
# a few seconds each from their seed corpora.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORV_SANITIZE=ON -DORV_FUZZ=ON -DORV_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"

# The server and the counting signal (built above) stay up for both ctest
# runs; the real-device tests skip, with a reason, when they cannot start.
# So do the X server and the private session bus of the end-to-end table.
source scripts/sound-server.sh
source scripts/x-server.sh
source scripts/session-bus.sh
trap 'stop_sound_server; stop_x_server; stop_session_bus' EXIT
start_sound_server build/bin/orv_counting_signal || true
start_x_server || true
start_session_bus || true

(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 900)
# The full minute under load ran above; here the sanitizers watch a shorter one.
# The end-to-end table ran above; without a display it skips here, as the X
# and desktop libraries under it are not built for the sanitizers.
(cd build-asan && ORV_LOAD_SECONDS=20 env -u DISPLAY ctest --output-on-failure -j"$(nproc)" --timeout 900)
