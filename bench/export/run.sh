#!/bin/sh
# Usage: bench/export/run.sh BUILD_FOLDER [WAV_MINUTES] [MP3_MINUTES]
# Needs sox, lame and about 2.5 GB free in the build folder.
set -e
build=${1:?usage: run.sh BUILD_FOLDER [WAV_MINUTES] [MP3_MINUTES]}
for tool in sox lame cat; do
  command -v "$tool" >/dev/null || { echo "missing reference tool: $tool" >&2; exit 1; }
done
# In the build folder, on the disk: a tmpfs temp folder would spare every side the writes.
work=$(mktemp -d "$build/orv-export-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bin/orv_export_bench" "$work" "${2:-60}" "${3:-10}"
