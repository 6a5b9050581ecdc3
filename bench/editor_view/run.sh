#!/bin/sh
# Runs the editor view benchmark from an existing build folder.
# Usage: bench/editor_view/run.sh <build folder>
set -eu
build=${1:?usage: run.sh <build folder>}
bin="$build/bin/orv_editor_view_bench"
[ -x "$bin" ] || { echo "run.sh: $bin not built (target orv_editor_view_bench)" >&2; exit 1; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orv-editor-view-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
"$bin" "$scratch"
