#!/usr/bin/env bash
# Usage: bench/display/run.sh BUILD_FOLDER [SECONDS]
# The main window (offscreen) with every display drawing, on the real device
# of a private sound server: SECONDS of monitoring, then SECONDS of
# recording; and arecord capturing SECONDS from the same server. Prints CPU
# seconds per minute of each and the ratios (ours / arecord's).
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS]}" && pwd)
seconds=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v arecord >/dev/null || { echo "missing reference tool: arecord" >&2; exit 1; }
for p in orv_display_bench orv_capture_bench orv_counting_signal; do
  [ -x "$build/bin/$p" ] || { echo "build $p first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-display-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
trap 'stop_sound_server; rm -rf "$work"' EXIT
start_sound_server "$build/bin/orv_counting_signal"

ours=$("$build/bin/orv_display_bench" "$work" "$seconds")
echo "$ours"
ref=$("$build/bin/orv_capture_bench" --measure \
  arecord -q -D default -f S16_LE -r 44100 -c 2 -t raw -d "$seconds" "$work/arecord.raw")
ref_cpu=$(sed -n 's/^cpu_s=\([0-9.]*\)$/\1/p' <<<"$ref")
ref_bytes=$(stat -c %s "$work/arecord.raw")
mon=$(sed -n 's/^orvane-monitor .*cpu_s_per_min=\([0-9.]*\) .*/\1/p' <<<"$ours")
rec=$(sed -n 's/^orvane-record .*cpu_s_per_min=\([0-9.]*\) .*/\1/p' <<<"$ours")
awk -v rc="$ref_cpu" -v b="$ref_bytes" -v mon="$mon" -v rec="$rec" 'BEGIN {
  ra = b / 176400; ref = rc / ra * 60
  printf "arecord cpu_s=%.6f audio_s=%.1f cpu_s_per_min=%.4f\n", rc, ra, ref
  if (ref > 0) printf "ratio monitoring (orvane / arecord): %.2f\nratio recording (orvane / arecord): %.2f\n", mon / ref, rec / ref
}'
