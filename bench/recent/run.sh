#!/usr/bin/env bash
# Usage: bench/recent/run.sh BUILD_FOLDER [MINUTES]
# Taking a running loop's last MINUTES (default 60) out of the ring's way, the
# step between Ctrl+K and the file dialog, against `cp` of the ring file on
# the same disk.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [MINUTES]}" && pwd)
minutes=${2:-60}
[ -x "$build/bin/orv_recent_bench" ] || { echo "build orv_recent_bench first" >&2; exit 1; }
work=$(mktemp -d "$build/orv-recent-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bin/orv_recent_bench" "$work" "$minutes"
