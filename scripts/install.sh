#!/usr/bin/env bash
# Builds a release, packages it as a Debian package and installs that
# system-wide, so the desktop's menu lists Orvane Recorder. The package
# manager then knows every file: sudo apt-get remove orvane-recorder
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
bash scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
rm -f build-release/orvane-recorder_*.deb
(cd build-release && cpack -G DEB >/dev/null)
deb=(build-release/orvane-recorder_*.deb)
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$PWD/${deb[0]}"
echo "Installed ${deb[0]##*/}; start Orvane Recorder from the desktop's menu or with: orvane-recorder"
