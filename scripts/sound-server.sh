#!/usr/bin/env bash
# Sourced by the test command: a private PulseAudio server whose default sink
# is a null sink and whose default source is that sink's monitor, with a
# counting signal playing into it. ALSA's "default" reaches it through the
# pulse plugin. ORV_SOUND_SERVER=1 tells the real-device tests it is there.
#
# The server lives in its own runtime folder with its own socket, so that it
# neither finds nor disturbs another server of the same user; every client
# started from this shell (pactl, pacat, the tests) is pointed at it.
#
#   start_sound_server [counting-signal program]   (default build/bin/orv_counting_signal)
#   stop_sound_server

_orv_sound_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

_orv_launch_pulseaudio() {
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes \
    --log-target="file:$1/server.log" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$1/native" \
    -L "module-null-sink sink_name=orv_null rate=44100 channels=2" \
    -L "module-always-sink" >/dev/null 2>&1
}

# For tests that stop the server (pactl exit) and need it back as it was:
# the same server in the same folder, with the counting signal playing again.
# Run in a shell that has the server's PULSE_* variables.
#   relaunch_sound_server <counting-signal program>
relaunch_sound_server() {
  local dir="${PULSE_RUNTIME_PATH:?not a sound-server shell}"
  _orv_launch_pulseaudio "$dir" || return 1
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink orv_null && pactl set-default-source orv_null.monitor &&
    pactl set-sink-volume orv_null 100% && pactl set-source-volume orv_null.monitor 100% || return 1
  # Detached: it ends with the server (broken pipe), as the first one does.
  setsid bash -c "'$1' | pacat --raw --format=s16le --rate=44100 --channels=2 --playback --latency-msec=1000 \
    --device=orv_null --client-name=orv-counting-signal" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do [ -n "$(pactl list short sink-inputs 2>/dev/null)" ] && return 0; sleep 0.1; done
  return 1
}

start_sound_server() {
  export ORV_SOUND_SERVER=0
  local generator="${1:-$_orv_sound_root/build/bin/orv_counting_signal}"
  if ! command -v pulseaudio >/dev/null || ! command -v pacat >/dev/null; then
    echo "sound server: pulseaudio or pacat is not installed; real-device tests will be skipped"
    return 1
  fi
  if [ ! -x "$generator" ]; then
    echo "sound server: $generator is not built; real-device tests will be skipped"
    return 1
  fi

  ORV_PULSE_DIR="$(mktemp -d /tmp/orv-pulse.XXXXXX)"
  export PULSE_RUNTIME_PATH="$ORV_PULSE_DIR" PULSE_STATE_PATH="$ORV_PULSE_DIR"
  export PULSE_SERVER="unix:$ORV_PULSE_DIR/native"
  # A system-wide client.conf may ask for autospawn; the server is ours to start.
  printf 'autospawn = no\n' >"$ORV_PULSE_DIR/client.conf"
  export PULSE_CLIENTCONFIG="$ORV_PULSE_DIR/client.conf"

  if ! _orv_launch_pulseaudio "$ORV_PULSE_DIR"; then
    echo "sound server: pulseaudio did not start; real-device tests will be skipped"
    tail -n 5 "$ORV_PULSE_DIR/server.log" 2>/dev/null
    stop_sound_server
    return 1
  fi
  local ready=0
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then ready=1; break; fi
    sleep 0.1
  done
  if [ "$ready" != 1 ]; then
    echo "sound server: pulseaudio does not answer; real-device tests will be skipped"
    stop_sound_server
    return 1
  fi
  # 0 dB on both ends: the counting signal must arrive bit for bit.
  pactl set-default-sink orv_null && pactl set-default-source orv_null.monitor &&
    pactl set-sink-volume orv_null 100% && pactl set-source-volume orv_null.monitor 100% &&
    pactl set-source-mute orv_null.monitor 0 || {
      echo "sound server: could not set up the null sink; real-device tests will be skipped"
      stop_sound_server
      return 1
    }

  # A deep playback buffer keeps the signal flowing while the tests load both cores.
  "$generator" | pacat --raw --format=s16le --rate=44100 --channels=2 --playback --latency-msec=1000 \
    --device=orv_null --client-name=orv-counting-signal &
  ORV_SIGNAL_PID=$!
  # Wait until the stream is connected, so the monitor carries the signal.
  local playing=0
  for _ in $(seq 100); do
    if [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; then playing=1; break; fi
    sleep 0.1
  done
  if [ "$playing" != 1 ]; then
    echo "sound server: the counting signal does not play; real-device tests will be skipped"
    stop_sound_server
    return 1
  fi
  export ORV_SOUND_SERVER=1
  echo "sound server: null sink ready, counting signal playing"
}

stop_sound_server() {
  export ORV_SOUND_SERVER=0
  if [ -n "${ORV_SIGNAL_PID:-}" ]; then
    kill "$ORV_SIGNAL_PID" 2>/dev/null || true  # the generator ends on the broken pipe
    wait "$ORV_SIGNAL_PID" 2>/dev/null || true
    ORV_SIGNAL_PID=""
  fi
  if [ -n "${ORV_PULSE_DIR:-}" ] && [ -d "$ORV_PULSE_DIR" ]; then
    local pid=""
    [ -f "$ORV_PULSE_DIR/pid" ] && pid="$(tr -dc 0-9 <"$ORV_PULSE_DIR/pid")"
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$ORV_PULSE_DIR"
  fi
  ORV_PULSE_DIR=""
  unset PULSE_SERVER PULSE_RUNTIME_PATH PULSE_STATE_PATH PULSE_CLIENTCONFIG
}
