#!/usr/bin/env bash
# Installs what the recorder needs, builds a release build and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target orvane-recorder
exec ./build-release/bin/orvane-recorder
