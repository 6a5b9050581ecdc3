#!/usr/bin/env bash
# Usage: bench/found/run.sh BUILD_FOLDER [MINUTES]
# Peaks of a found recording of MINUTES (default 60): computed by the
# recorder against a plain read of the same file (cat to /dev/null, and a
# read in blocks in the same process), and loaded from a fitting summary at
# 1, 10 and MINUTES minutes against reading that summary whole in the same
# process.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [MINUTES]}" && pwd)
minutes=${2:-60}
[ -x "$build/bin/orv_found_bench" ] || { echo "build orv_found_bench first" >&2; exit 1; }
work=$(mktemp -d "$build/orv-found-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bin/orv_found_bench" "$work" "$minutes"
