#!/usr/bin/env bash
# Usage: bench/display/run.sh BUILD_FOLDER [SECONDS] [RUNS]
# The main window with every display drawing on a real X server (an Xvfb of
# its own), on the real device of a private sound server: SECONDS of
# monitoring, then SECONDS of recording, with arecord capturing the same
# source at the same moment in each phase. RUNS runs (at least 3), which side
# starts first alternating; prints each run and the medians of both sides'
# CPU seconds per minute and of the ratios (ours / arecord's).
# ORV_BENCH_DISPLAY=N picks the X display number (default: the first free from 50).
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS] [RUNS]}" && pwd)
seconds=${2:-60}
runs=${3:-3}
[ "$runs" -ge 3 ] || runs=3
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in arecord Xvfb; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done
for p in orv_display_bench orv_counting_signal; do
  [ -x "$build/bin/$p" ] || { echo "build $p first" >&2; exit 1; }
done

work=$(mktemp -d "$build/orv-display-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
source "$root/bench/bench-x-server.sh"
trap 'stop_sound_server; stop_bench_x_server; rm -rf "$work"' EXIT

start_bench_x_server "$work"

start_sound_server "$build/bin/orv_counting_signal"

: >"$work/results"
for run in $(seq "$runs"); do
  order=ours-first
  [ $((run % 2)) -eq 0 ] && order=reference-first
  out=$("$build/bin/orv_display_bench" "$work" "$seconds" "$order")
  echo "run $run ($order):"
  sed 's/^/  /' <<<"$out"
  echo "$out" >>"$work/results"
done

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for phase in monitor record; do
  field() { sed -n "s/^$phase .*$1=\([0-9.]*\).*/\1/p" "$work/results" | median; }
  printf '%s (median of %d runs, DISPLAY=:%s): orvane %s cpu_s/min, arecord %s cpu_s/min, ratio %s\n' \
    "$phase" "$runs" "$display" "$(field orvane_cpu_s_per_min)" "$(field arecord_cpu_s_per_min)" "$(field ratio)"
done
