#!/bin/sh
# Runs the editor benchmarks from an existing build folder.
# Usage: bench/editor/run.sh <build folder>
set -eu
build=${1:?usage: run.sh <build folder>}
bin="$build/bin/orv_editor_bench"
[ -x "$bin" ] || { echo "run.sh: $bin not built (target orv_editor_bench)" >&2; exit 1; }
command -v sox >/dev/null || { echo "run.sh: sox is not installed" >&2; exit 1; }
# In the build folder, on the disk: a tmpfs temp folder would spare both sides the writes.
scratch=$(mktemp -d "$build/orv-editor-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
"$bin" "$scratch" "$(command -v sox)"
