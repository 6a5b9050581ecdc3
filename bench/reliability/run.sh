#!/usr/bin/env bash
# Usage: bench/reliability/run.sh BUILD_FOLDER [KILL_RUNS] [LOAD_SECONDS] [DISK_RUNS]
# The long reliability suite on a private sound server with the counting
# signal: KILL_RUNS (default 200) kills of a continuous recording and as many
# of a "Loop 3 min" recording (the engine fed at disk speed), a capture
# of LOAD_SECONDS (default 600) with both cores saturated, and DISK_RUNS
# (default 20) repetitions of the disk and lost-sound scenarios. Prints per
# fault: runs, recordings kept, seconds lost at most, breaks in the count.
# Pass the sanitizer build (build-asan) to have every finding end a run.
set -uo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [KILL_RUNS] [LOAD_SECONDS] [DISK_RUNS]}" && pwd)
kill_runs=${2:-200}
load_seconds=${3:-600}
disk_runs=${4:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
for p in orv_reliability_device_test orv_reliability_test orv_recorder_child orv_counting_signal; do
  [ -x "$build/bin/$p" ] || { echo "build $p first" >&2; exit 1; }
done
log=$(mktemp "${TMPDIR:-/tmp}/orv-reliability-XXXXXX.log")
source "$root/scripts/sound-server.sh"
trap stop_sound_server EXIT
start_sound_server "$build/bin/orv_counting_signal" || exit 1

ORV_KILL_RUNS=$kill_runs ORV_LOAD_SECONDS=$load_seconds QT_QPA_PLATFORM=offscreen \
  "$build/bin/orv_reliability_device_test" >>"$log" 2>&1
device_rc=$?
# The loop-recording kills run the engine at disk speed: KILL_RUNS of them too.
ORV_LOOP_KILL_RUNS=$kill_runs QT_QPA_PLATFORM=offscreen "$build/bin/orv_reliability_test" \
  --gtest_filter='Killed.*' >>"$log" 2>&1
loop_rc=$?
QT_QPA_PLATFORM=offscreen "$build/bin/orv_reliability_test" --gtest_filter='-Killed.*' \
  --gtest_repeat="$disk_runs" >>"$log" 2>&1
disk_rc=$?

printf '%-22s %6s %6s %14s %7s\n' fault runs kept max_lost_s breaks
sed -n 's/^reliability-summary fault=\([^ ]*\) runs=\([0-9]*\) kept=\([0-9]*\) max_lost_s=\([0-9.]*\) breaks=\([0-9]*\)$/\1 \2 \3 \4 \5/p' "$log" |
  while read -r f r k l b; do printf '%-22s %6s %6s %14s %7s\n' "$f" "$r" "$k" "$l" "$b"; done
# The disk scenarios assert whole blocks and an unbroken count: a failed run
# is a recording damaged or lost.
scenario='(Reliability/FullDisk|FreeSpace|Reliability/LoopRing)'
passed=$(grep -cE "^\[       OK \] $scenario.*ms\)\$" "$log")
failed=$(grep -cE "^\[  FAILED  \] $scenario.*ms\)\$" "$log")
printf '%-22s %6s %6s %14s %7s\n' disk-full+short-write "$((passed + failed))" "$passed" 0 "$failed"
echo "log: $log"
[ $device_rc -eq 0 ] && [ $loop_rc -eq 0 ] && [ $disk_rc -eq 0 ]
