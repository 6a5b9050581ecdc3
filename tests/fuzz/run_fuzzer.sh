#!/usr/bin/env bash
# Usage: run_fuzzer.sh FUZZER SEED_FOLDER SECONDS
# Runs FUZZER for SECONDS from the seeds; new inputs go to a scratch folder so
# the seeds in the repository stay as they are. A crashing input is kept in
# $ORV_FUZZ_ARTIFACTS (default: the build's fuzz-artifacts folder) and printed.
set -euo pipefail
fuzzer=${1:?} seeds=${2:?} seconds=${ORV_FUZZ_SECONDS:-${3:?}}
name=$(basename "$fuzzer")
artifacts=${ORV_FUZZ_ARTIFACTS:-$(dirname "$fuzzer")/../fuzz-artifacts}
mkdir -p "$artifacts"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/$name-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# -rss_limit_mb: a fuzz input must never make the program take gigabytes.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$name-" "$scratch" "$seeds"
