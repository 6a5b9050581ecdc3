#!/usr/bin/env bash
# Installs the Debian packages the program needs; with --test also what the
# tests and benchmarks need (sound server, reference tools, GoogleTest).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

RUNTIME=(build-essential cmake pkg-config qt6-base-dev libqt6test6 libasound2-dev libasound2-plugins libpulse-dev
         libmp3lame-dev libtag1-dev libjpeg62-turbo-dev fonts-wqy-microhei alsa-utils)
TEST=(googletest libgtest-dev libgmock-dev pulseaudio pulseaudio-utils sox lame xvfb xdotool
      desktop-file-utils appstream dpkg-dev clang libclang-rt-dev stress-ng libsndfile1-dev dbus-daemon)

PKGS=("${RUNTIME[@]}")
if [ "${1:-}" = "--test" ]; then PKGS+=("${TEST[@]}"); fi

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
