#!/usr/bin/env bash
# Sourced by the test command: a private PulseAudio server whose default sink
# is a null sink and whose default source is that sink's monitor, with a
# counting signal playing into it. ALSA's "default" reaches it through the
# pulse plugin. ORV_SOUND_SERVER=1 tells the real-device tests it is there.

start_sound_server() {
  export ORV_SOUND_SERVER=0
  if ! command -v pulseaudio >/dev/null; then
    echo "sound server: pulseaudio is not installed; real-device tests will be skipped"
    return 1
  fi
  pulseaudio --kill >/dev/null 2>&1 || true
  if ! pulseaudio -n --daemonize=yes --exit-idle-time=-1 \
        -L "module-native-protocol-unix" \
        -L "module-null-sink sink_name=orv_null rate=44100 channels=2" \
        -L "module-always-sink" >/dev/null 2>&1; then
    echo "sound server: pulseaudio did not start; real-device tests will be skipped"
    return 1
  fi
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink orv_null && pactl set-default-source orv_null.monitor
  pactl set-sink-volume orv_null 100%
  export ORV_SOUND_SERVER=1
  echo "sound server: null sink ready"
}

stop_sound_server() {
  if [ -n "${ORV_SIGNAL_PID:-}" ]; then kill "$ORV_SIGNAL_PID" 2>/dev/null || true; fi
  pulseaudio --kill >/dev/null 2>&1 || true
}
