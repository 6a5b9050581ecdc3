#!/usr/bin/env bash
# Usage: bench/recent/run.sh BUILD_FOLDER [MINUTES]
# Taking a running loop's last MINUTES (default 60) out of the ring's way, the
# step between Ctrl+K and the file dialog, against `cp` of the ring file on
# the same disk. Then the same on a live recording of a private sound
# server's counting signal with a full 60-minute ring, saved as WAV and as
# MP3: the times, and the breaks in the recording that went on meanwhile.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [MINUTES]}" && pwd)
minutes=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -x "$build/bin/orv_recent_bench" ] || { echo "build orv_recent_bench first" >&2; exit 1; }
work=$(mktemp -d "$build/orv-recent-bench-XXXXXX")
source "$root/scripts/sound-server.sh"
trap 'stop_sound_server; rm -rf "$work"' EXIT
"$build/bin/orv_recent_bench" "$work" "$minutes"
start_sound_server "$build/bin/orv_counting_signal"
"$build/bin/orv_recent_bench" --live "$work" wav
"$build/bin/orv_recent_bench" --live "$work" mp3
