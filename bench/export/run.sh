#!/bin/sh
# Usage: bench/export/run.sh BUILD_FOLDER [WAV_MINUTES] [MP3_MINUTES]
# Needs sox, lame and about 2 GB free in the temp folder.
set -e
build=${1:?usage: run.sh BUILD_FOLDER [WAV_MINUTES] [MP3_MINUTES]}
for tool in sox lame cat; do
  command -v "$tool" >/dev/null || { echo "missing reference tool: $tool" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/orv-export-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bin/orv_export_bench" "$work" "${2:-60}" "${3:-10}"
