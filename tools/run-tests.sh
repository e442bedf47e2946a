#!/usr/bin/env bash
# Runs every test of the project on a fresh machine: installs the packages,
# builds the normal and the sanitizer configuration, and runs CTest on both;
# then builds the fuzz targets and runs each for a short while
# (BVL_FUZZ_SECONDS, default 10, or 200,000 inputs, whichever ends first).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

jobs=${BVL_JOBS:-2}
status=0
for preset in default asan; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: tests"
  ASAN_OPTIONS=detect_leaks=0 \
    UBSAN_OPTIONS="print_stacktrace=1:suppressions=$PWD/tools/sanitizers/ubsan.supp" \
    LSAN_OPTIONS="suppressions=$PWD/tools/sanitizers/lsan.supp" \
    ctest --preset "$preset" -j "$jobs" || status=1
done

echo "=== fuzz: build and a short run of every target"
fuzz_start=$SECONDS
tools/fuzz.sh "${BVL_FUZZ_SECONDS:-10}" --runs 200000 || status=1
echo "=== fuzz: $((SECONDS - fuzz_start)) s"
exit $status
