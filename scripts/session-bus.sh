#!/usr/bin/env bash
# Sourced by the test command: a private session bus (dbus-daemon) for the
# end-to-end table's commands from a second process, so that the program's
# well-known name never meets a real desktop's. ORV_SESSION_BUS=1 tells the
# rows that use it that it is there.
#
#   start_session_bus
#   stop_session_bus

start_session_bus() {
  export ORV_SESSION_BUS=0
  if ! command -v dbus-daemon >/dev/null; then
    echo "session bus: dbus-daemon is not installed; the rows with commands will be skipped"
    return 1
  fi
  ORV_BUS_DIR="$(mktemp -d /tmp/orv-bus.XXXXXX)"
  local address
  address="$(dbus-daemon --session --fork --nopidfile --print-pid=3 --print-address=1 \
             --address="unix:path=$ORV_BUS_DIR/bus" 3>"$ORV_BUS_DIR/pid")" || {
    echo "session bus: dbus-daemon did not start; the rows with commands will be skipped"
    rm -rf "$ORV_BUS_DIR"
    return 1
  }
  ORV_BUS_PID="$(tr -dc 0-9 <"$ORV_BUS_DIR/pid")"
  ORV_OLD_BUS_ADDRESS="${DBUS_SESSION_BUS_ADDRESS-}"
  export DBUS_SESSION_BUS_ADDRESS="$address"
  export ORV_SESSION_BUS=1
  echo "session bus: $address"
}

stop_session_bus() {
  export ORV_SESSION_BUS=0
  if [ -n "${ORV_BUS_PID:-}" ]; then
    kill "$ORV_BUS_PID" 2>/dev/null || true
    ORV_BUS_PID=""
  fi
  [ -n "${ORV_BUS_DIR:-}" ] && rm -rf "$ORV_BUS_DIR"
  ORV_BUS_DIR=""
  if [ -n "${ORV_OLD_BUS_ADDRESS:-}" ]; then
    export DBUS_SESSION_BUS_ADDRESS="$ORV_OLD_BUS_ADDRESS"
  else
    unset DBUS_SESSION_BUS_ADDRESS
  fi
}
