#!/usr/bin/env bash
# Sourced by the test command: a private X server (Xvfb) for the end-to-end
# table, on the first free display from 100 up (or ORV_DISPLAY_NUMBER), with
# DISPLAY exported for every test started from this shell.
#
#   start_x_server
#   stop_x_server

start_x_server() {
  if ! command -v Xvfb >/dev/null; then
    echo "X server: Xvfb is not installed; the end-to-end table will be skipped"
    return 1
  fi
  local n="${ORV_DISPLAY_NUMBER:-100}"
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  ORV_XVFB_PID=$!
  for _ in $(seq 100); do
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      echo "X server: Xvfb on :$n"
      return 0
    fi
    kill -0 "$ORV_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "X server: Xvfb did not start; the end-to-end table will be skipped"
  stop_x_server
  return 1
}

stop_x_server() {
  if [ -n "${ORV_XVFB_PID:-}" ]; then
    kill "$ORV_XVFB_PID" 2>/dev/null || true
    wait "$ORV_XVFB_PID" 2>/dev/null || true
    ORV_XVFB_PID=""
  fi
  unset DISPLAY
}
