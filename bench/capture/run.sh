#!/usr/bin/env bash
# Usage: bench/capture/run.sh BUILD_FOLDER [SECONDS]
# Records SECONDS of the counting signal from a private sound server: with
# the recorder's capture engine (on the backend it chooses; ORV_SOUND_BACKEND
# =alsa|pulse forces one), with arecord and with parec, and prints the CPU
# seconds per minute of audio of each and the ratios (ours / reference).
# CPU is user plus system time of all threads (getrusage / wait4).
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS]}" && pwd)
seconds=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in arecord parec; do
  command -v "$tool" >/dev/null || { echo "missing reference tool: $tool" >&2; exit 1; }
done
[ -x "$build/bin/orv_capture_bench" ] || { echo "build orv_capture_bench first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-capture-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
trap 'stop_sound_server; rm -rf "$work"' EXIT
start_sound_server "$build/bin/orv_counting_signal"

ours=$("$build/bin/orv_capture_bench" "$work" "$seconds")
echo "$ours"
# The same without the periodic fdatasync of the recording: what the sync costs.
unsynced=$(ORV_BENCH_SYNC_MS=0 "$build/bin/orv_capture_bench" "$work" "$seconds")
echo "without sync: $unsynced"
awk -v a="$(sed -n 's/.*cpu_s_per_audio_min=\([0-9.]*\).*/\1/p' <<<"$ours")" \
    -v b="$(sed -n 's/.*cpu_s_per_audio_min=\([0-9.]*\).*/\1/p' <<<"$unsynced")" \
    'BEGIN { if (b > 0) printf "periodic sync: cpu ratio (synced / unsynced) %.2f\n", a / b }'
# The same without the ring-position file's name: a continuous recording
# writes none, so the ratio stays near 1.
noring=$(ORV_BENCH_RING=0 "$build/bin/orv_capture_bench" "$work" "$seconds")
echo "without position file: $noring"
awk -v a="$(sed -n 's/.*cpu_s_per_audio_min=\([0-9.]*\).*/\1/p' <<<"$ours")" \
    -v b="$(sed -n 's/.*cpu_s_per_audio_min=\([0-9.]*\).*/\1/p' <<<"$noring")" \
    -v ta="$(sed -n 's/.*longest_tick_ms=\([0-9.]*\).*/\1/p' <<<"$ours")" \
    -v tb="$(sed -n 's/.*longest_tick_ms=\([0-9.]*\).*/\1/p' <<<"$noring")" \
    'BEGIN { if (b > 0) printf "position file: cpu ratio (with / without) %.2f, longest tick %s ms / %s ms\n", a / b, ta, tb }'
our_cpu=$(sed -n 's/^orvane cpu_s=\([0-9.]*\) .*/\1/p' <<<"$ours")
our_audio=$(sed -n 's/^orvane cpu_s=[0-9.]* audio_s=\([0-9.]*\) .*/\1/p' <<<"$ours")
[ -n "$our_cpu" ] && [ -n "$our_audio" ] || { echo "unexpected output of orv_capture_bench" >&2; exit 1; }

ref=$("$build/bin/orv_capture_bench" --measure \
  arecord -q -D default -f S16_LE -r 44100 -c 2 -t raw -d "$seconds" "$work/arecord.raw")
ref_cpu=$(sed -n 's/^cpu_s=\([0-9.]*\)$/\1/p' <<<"$ref")
ref_bytes=$(stat -c %s "$work/arecord.raw")

awk -v oc="$our_cpu" -v oa="$our_audio" -v rc="$ref_cpu" -v b="$ref_bytes" 'BEGIN {
  ra = b / 176400
  ours = oc / oa * 60; ref = rc / ra * 60
  printf "arecord cpu_s=%.6f audio_s=%.1f cpu_s_per_audio_min=%.4f\n", rc, ra, ref
  if (ref > 0) printf "ratio (orvane / arecord): %.2f\n", ours / ref
  else printf "ratio: arecord used no measurable CPU\n"
}'

# The sound server's own recorder; it runs until stopped, so timeout ends it.
ref=$("$build/bin/orv_capture_bench" --measure timeout -s INT "$seconds" \
  sh -c 'exec parec --raw --format=s16le --rate=44100 --channels=2 >"$0"' "$work/parec.raw") || true
ref_cpu=$(sed -n 's/^cpu_s=\([0-9.]*\)$/\1/p' <<<"$ref")
ref_bytes=$(stat -c %s "$work/parec.raw")
awk -v oc="$our_cpu" -v oa="$our_audio" -v rc="$ref_cpu" -v b="$ref_bytes" 'BEGIN {
  ra = b / 176400
  ours = oc / oa * 60; ref = rc / ra * 60
  printf "parec cpu_s=%.6f audio_s=%.1f cpu_s_per_audio_min=%.4f\n", rc, ra, ref
  if (ref > 0) printf "ratio (orvane / parec): %.2f\n", ours / ref
  else printf "ratio: parec used no measurable CPU\n"
}'
