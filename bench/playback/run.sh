#!/usr/bin/env bash
# Usage: bench/playback/run.sh BUILD_FOLDER [SECONDS] [RUNS]
# Plays the counting signal into a private sound server's null sink, RUNS
# times (at least 3) in two cases, each beside reference players started at
# the same moment on the same file:
#   engine: the recorder's playback engine alone, beside aplay and paplay;
#   editor: the editor window shown on an X server of its own (Xvfb), Play
#           All pressed, beside aplay.
# Every side's CPU (all threads) is read over the same window of SECONDS,
# which opens a few seconds after all have started; prints each run and the
# medians of the CPU seconds per minute and of the ratios (ours / reference),
# and how far the play cursor runs from what the device has played.
# ORV_BENCH_DISPLAY=N picks the X display number (default: the first free from 50).
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS] [RUNS]}" && pwd)
seconds=${2:-60}
runs=${3:-3}
[ "$runs" -ge 3 ] || runs=3
warm_up=3
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in aplay paplay Xvfb; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done
for p in orv_playback_bench orv_counting_signal; do
  [ -x "$build/bin/$p" ] || { echo "build $p first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-playback-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
source "$root/bench/bench-x-server.sh"
trap 'stop_sound_server; stop_bench_x_server; rm -rf "$work"' EXIT

start_bench_x_server "$work"

start_sound_server "$build/bin/orv_counting_signal"

# Longer than the window: every side is still playing when it closes.
"$build/bin/orv_playback_bench" --make "$work/recording.raw" $((seconds + warm_up + 10))
: >"$work/results"
for run in $(seq "$runs"); do
  for mode in engine editor; do
    args=("$work/recording.raw" "$work" "$warm_up" "$seconds")
    [ "$mode" = editor ] && args=(--editor "${args[@]}")
    out=$("$build/bin/orv_playback_bench" "${args[@]}")
    echo "run $run $mode:"
    sed 's/^/  /' <<<"$out"
    echo "$out" >>"$work/results"
  done
done

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/^$1 .* $2=\([0-9.]*\).*/\1/p" "$work/results" | median; }
printf 'engine (median of %d runs, %s s window): orvane %s cpu_s/min, aplay %s, paplay %s; ratio to aplay %s, to paplay %s\n' \
  "$runs" "$seconds" "$(field engine orvane_cpu_s_per_min)" "$(field engine aplay_cpu_s_per_min)" \
  "$(field engine paplay_cpu_s_per_min)" "$(field engine ratio_aplay)" "$(field engine ratio_paplay)"
printf 'editor shown (median of %d runs, %s s window, DISPLAY=:%s): orvane %s cpu_s/min, aplay %s; ratio to aplay %s\n' \
  "$runs" "$seconds" "$display" "$(field editor orvane_cpu_s_per_min)" "$(field editor aplay_cpu_s_per_min)" \
  "$(field editor ratio_aplay)"
