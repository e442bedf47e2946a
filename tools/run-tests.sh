#!/usr/bin/env bash
# Runs every test of the project on a fresh machine: installs the packages,
# builds the normal and the sanitizer configuration, and runs CTest on both;
# cross-builds the Windows program (32-bit and 64-bit) and runs its tests
# under Wine; then builds the fuzz targets and runs each for a short while
# (BVL_FUZZ_SECONDS, default 10, or 200,000 inputs, whichever ends first).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
. tools/wine-loader.sh
bvl_choose_wine_loader

jobs=${BVL_JOBS:-2}
status=0
summary=()

# Runs one preset's tests. A test that fails is run once more on its own,
# with its output kept: one that fails again fails the run; one that passes
# the second time is named in the summary as unsteady, so that it gets
# looked at instead of passing unseen.
run_ctest() {
  local preset=$1 log=build/$1/failed-tests.log
  ASAN_OPTIONS=detect_leaks=0 \
    UBSAN_OPTIONS="print_stacktrace=1:suppressions=$PWD/tools/sanitizers/ubsan.supp" \
    LSAN_OPTIONS="suppressions=$PWD/tools/sanitizers/lsan.supp" \
    ctest --preset "$preset" -j "$jobs" && return 0
  local failed
  failed=$(sed 's/^[0-9]*://' "build/$preset/Testing/Temporary/LastTestsFailed.log" | tr '\n' ' ')
  echo "=== ${preset}: running the failed tests once more: ${failed}"
  if ASAN_OPTIONS=detect_leaks=0 \
    UBSAN_OPTIONS="print_stacktrace=1:suppressions=$PWD/tools/sanitizers/ubsan.supp" \
    LSAN_OPTIONS="suppressions=$PWD/tools/sanitizers/lsan.supp" \
    ctest --preset "$preset" --rerun-failed --output-on-failure >"$log" 2>&1; then
    summary+=("${preset}: failed once, passed when run again (unsteady): ${failed}")
  else
    summary+=("${preset}: FAILED twice: ${failed}" "$(tail -n 60 "$log")")
    status=1
  fi
}

for preset in default asan; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: tests"
  run_ctest "$preset"
done

# The Windows program: cross-built with mingw-w64 and its tests run under
# Wine, in a fresh prefix that the test run makes and removes. The 32-bit
# program is the installer users run; the 64-bit build keeps the code
# portable to x64 (structure sizes, contexts, calling conventions).
# On a kernel without 32-bit support the 32-bit program is built and its
# file checked, but it cannot run under Wine: its Wine tests are left out,
# and the summary says so.
for preset in windows windows64; do
  start=$SECONDS
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = windows ] && [ "$BVL_WINE_RUNS_32BIT" = 0 ]; then
    echo "=== ${preset}: tests without Wine (this machine cannot run 32-bit programs)"
    (cd "build/$preset" && ctest -j "$jobs" -L quick) || { status=1; summary+=("${preset}: the file tests FAILED"); }
    summary+=("${preset}: the Wine tests of the 32-bit program were not run: this kernel cannot run 32-bit programs")
  else
    echo "=== ${preset}: tests under Wine"
    run_ctest "$preset"
  fi
  echo "=== ${preset}: $((SECONDS - start)) s"
done

echo "=== fuzz: build and a short run of every target"
fuzz_start=$SECONDS
tools/fuzz.sh "${BVL_FUZZ_SECONDS:-10}" --runs 200000 || { status=1; summary+=("fuzz: a target failed (see above)"); }
echo "=== fuzz: $((SECONDS - fuzz_start)) s"

# The outcome last, where a reader of the log's end finds it.
echo "=== summary"
if [ ${#summary[@]} -eq 0 ]; then
  echo "every test passed"
elif [ $status = 0 ]; then
  echo "every test that ran passed"
  printf '%s\n' "${summary[@]}"
else
  printf '%s\n' "${summary[@]}"
fi
exit $status
