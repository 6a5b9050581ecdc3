#!/usr/bin/env bash
# Usage: bench/playback/run.sh BUILD_FOLDER [SECONDS]
# Plays SECONDS of the counting signal into a private sound server's null
# sink twice: with the recorder's playback engine and with aplay, and prints
# the CPU seconds per minute played of each and their ratio (ours / aplay's),
# and how far the play cursor runs from what the device has played.
# CPU is user plus system time of all threads (getrusage / wait4).
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS]}" && pwd)
seconds=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v aplay >/dev/null || { echo "missing reference tool: aplay" >&2; exit 1; }
[ -x "$build/bin/orv_playback_bench" ] || { echo "build orv_playback_bench first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-playback-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
trap 'stop_sound_server; rm -rf "$work"' EXIT
start_sound_server "$build/bin/orv_counting_signal"

"$build/bin/orv_playback_bench" --make "$work/minute.raw" "$seconds"
ours=$("$build/bin/orv_playback_bench" "$work/minute.raw" "$work")
echo "$ours"
our_cpu=$(sed -n 's/^orvane cpu_s=\([0-9.]*\) .*/\1/p' <<<"$ours")
our_audio=$(sed -n 's/^orvane cpu_s=[0-9.]* audio_s=\([0-9.]*\) .*/\1/p' <<<"$ours")
[ -n "$our_cpu" ] && [ -n "$our_audio" ] || { echo "unexpected output of orv_playback_bench" >&2; exit 1; }

ref=$("$build/bin/orv_playback_bench" --measure \
  aplay -q -D default -f S16_LE -r 44100 -c 2 -t raw "$work/minute.raw")
ref_cpu=$(sed -n 's/^cpu_s=\([0-9.]*\)$/\1/p' <<<"$ref")

awk -v oc="$our_cpu" -v oa="$our_audio" -v rc="$ref_cpu" -v ra="$seconds" 'BEGIN {
  ours = oc / oa * 60; ref = rc / ra * 60
  printf "aplay cpu_s=%.6f audio_s=%.1f cpu_s_per_audio_min=%.4f\n", rc, ra, ref
  if (ref > 0) printf "ratio (orvane / aplay): %.2f\n", ours / ref
  else printf "ratio: aplay used no measurable CPU\n"
}'
