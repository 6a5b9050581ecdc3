#!/usr/bin/env bash
# Sourced by the benches that show a window: an Xvfb of their own on
# ORV_BENCH_DISPLAY, or the first free display from 50, with DISPLAY set for
# Qt's xcb platform. Its log goes to WORK/xvfb.log; stop_bench_x_server ends it.
#
#   start_bench_x_server WORK
#   stop_bench_x_server

bench_xvfb_pid=

start_bench_x_server() {
  display=${ORV_BENCH_DISPLAY:-}
  if [ -z "$display" ]; then
    display=50
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  fi
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
  bench_xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start on :$display" >&2; cat "$1/xvfb.log" >&2; return 1; }
  export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
}

stop_bench_x_server() {
  if [ -n "$bench_xvfb_pid" ]; then kill "$bench_xvfb_pid" 2>/dev/null || true; fi
  bench_xvfb_pid=
}
