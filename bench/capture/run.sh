#!/usr/bin/env bash
# Usage: bench/capture/run.sh BUILD_FOLDER [SECONDS]
# Records the counting signal from a private sound server with the recorder's
# capture engine (on the backend it chooses; ORV_SOUND_BACKEND=alsa|pulse
# forces one), with arecord and parec capturing the same source from the same
# moment. Every side's CPU (all threads) is read over the same window of
# SECONDS, which opens a few seconds after all have started, so that none is
# charged its start-up; prints the CPU seconds per minute of each and the
# ratios (ours / reference). Then ours alone without the periodic sync and
# without the ring-position file's name, to show what each costs.
# The main window adds its own drawing: bench/display measures it.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS]}" && pwd)
seconds=${2:-60}
warm_up=3
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in arecord parec; do
  command -v "$tool" >/dev/null || { echo "missing reference tool: $tool" >&2; exit 1; }
done
[ -x "$build/bin/orv_capture_bench" ] || { echo "build orv_capture_bench first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-capture-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
trap 'stop_sound_server; rm -rf "$work"' EXIT
start_sound_server "$build/bin/orv_counting_signal"

ours=$("$build/bin/orv_capture_bench" "$work" "$warm_up" "$seconds")
echo "$ours"
cpu() { sed -n 's/^orvane .* cpu_s_per_min=\([0-9.]*\).*/\1/p' <<<"$1"; }
# Ours alone, without the periodic fdatasync of the recording: what the sync costs.
unsynced=$(ORV_BENCH_REFERENCES=0 ORV_BENCH_SYNC_MS=0 "$build/bin/orv_capture_bench" "$work" "$warm_up" "$seconds")
echo "without sync: $unsynced"
awk -v a="$(cpu "$ours")" -v b="$(cpu "$unsynced")" \
    'BEGIN { if (b > 0) printf "periodic sync: cpu ratio (synced / unsynced) %.2f\n", a / b }'
# Without the ring-position file's name: a continuous recording writes none,
# so the ratio stays near 1.
noring=$(ORV_BENCH_REFERENCES=0 ORV_BENCH_RING=0 "$build/bin/orv_capture_bench" "$work" "$warm_up" "$seconds")
echo "without position file: $noring"
awk -v a="$(cpu "$ours")" -v b="$(cpu "$noring")" \
    -v ta="$(sed -n 's/.*longest_tick_ms=\([0-9.]*\).*/\1/p' <<<"$ours")" \
    -v tb="$(sed -n 's/.*longest_tick_ms=\([0-9.]*\).*/\1/p' <<<"$noring")" \
    'BEGIN { if (b > 0) printf "position file: cpu ratio (with / without) %.2f, longest tick %s ms / %s ms\n", a / b, ta, tb }'
