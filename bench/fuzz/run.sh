#!/usr/bin/env bash
# Usage: bench/fuzz/run.sh BUILD_FOLDER [SECONDS_PER_FUZZER] [FUZZER...]
# Longer fuzzing than the test command's few seconds. BUILD_FOLDER is a clang
# build with -DORV_FUZZ=ON (the test command's build-asan). Each fuzzer starts
# from its seeds in tests/fuzz/corpus and keeps what it finds in
# BUILD_FOLDER/fuzz-corpus/NAME, so later runs go on from there; crashing
# inputs land in BUILD_FOLDER/fuzz-artifacts. Prints one line per fuzzer.
set -uo pipefail
build=$(cd "${1:?usage: run.sh BUILD_FOLDER [SECONDS_PER_FUZZER] [FUZZER...]}" && pwd)
seconds=${2:-600}
shift $(( $# >= 2 ? 2 : $# ))
root=$(cd "$(dirname "$0")/../.." && pwd)
fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
  for f in "$build"/bin/orv_fuzz_*; do [ -x "$f" ] && fuzzers+=("$(basename "$f")"); done
fi
[ ${#fuzzers[@]} -gt 0 ] || { echo "no fuzzers in $build/bin (configure with CC=clang CXX=clang++ -DORV_FUZZ=ON)" >&2; exit 1; }
mkdir -p "$build/fuzz-artifacts"
failed=0
for name in "${fuzzers[@]}"; do
  short=${name#orv_fuzz_}
  corpus="$build/fuzz-corpus/$short"
  mkdir -p "$corpus"
  log="$build/fuzz-artifacts/$name.log"
  "$build/bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$name-" "$corpus" "$root/tests/fuzz/corpus/$short" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  if [ $rc -eq 0 ]; then result=ok; else result="FINDING (see $log)"; failed=1; fi
  printf '%-28s seconds=%s executions=%s %s corpus=%s %s\n' "$name" "$seconds" "${runs:-?}" "${cov:-}" \
    "$(ls "$corpus" | wc -l)" "$result"
done
exit $failed
