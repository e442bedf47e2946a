#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (preset "fuzz") with their seed
# corpora and runs each for a while, two at a time (BVL_JOBS):
#
#   tools/fuzz.sh [SECONDS] [--runs N] [TARGET...]
#
# SECONDS (default 60) is each target's time, --runs N ends a target earlier
# after N inputs. New inputs that reach new code are kept in
# build/fuzz/fuzz/corpus/<target>/, so that later runs start from them. A
# crash, a leak, a time-out or an out-of-memory fails the script; the input
# that caused it is in build/fuzz/fuzz/findings/<target>/ and
# `build/fuzz/fuzz/<target> <input>` replays it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=-1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    [0-9]*) seconds=$1; shift ;;
    -*) echo "usage: $0 [SECONDS] [--runs N] [TARGET...]" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
jobs=${BVL_JOBS:-2}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

out=build/fuzz/fuzz
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/tools/sanitizers/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:suppressions=$PWD/tools/sanitizers/ubsan.supp"
export BVL_FUZZ_ROOTS="$PWD/$out/seeds/trusted-roots.pem"

# run <target>: one target on its corpus and seeds; its output in <target>.log.
run() {
  local target=$1 max_len=65536
  # An archive of this size can already unpack to tens of megabytes.
  [ "$target" = unzip_archive_fuzz ] && max_len=16384
  mkdir -p "$out/corpus/$target" "$out/findings/$target"
  "$out/$target" "$out/corpus/$target" "$out/seeds/$target" \
    -max_total_time="$seconds" -runs="$runs" -max_len="$max_len" -timeout=30 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$out/findings/$target/" > "$out/$target.log" 2>&1
}

# report <target> <status>: the target's executions, and its failure.
report() {
  local target=$1 status=$2 log="$out/$1.log"
  local executed rate
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    printf '%-26s %10s inputs %8s/s\n' "$target" "${executed:-?}" "${rate:-?}"
  else
    printf '%-26s FAILED (exit %s); the end of %s:\n' "$target" "$status" "$log"
    grep -v -E '^#[0-9]+' "$log" | tail -n 40
  fi
}

failed=0
pending=("${targets[@]}")
declare -A running=()
while [ ${#pending[@]} -gt 0 ] || [ ${#running[@]} -gt 0 ]; do
  while [ ${#pending[@]} -gt 0 ] && [ ${#running[@]} -lt "$jobs" ]; do
    target=${pending[0]}
    pending=("${pending[@]:1}")
    run "$target" &
    running[$!]=$target
  done
  status=0
  wait -n -p finished "${!running[@]}" || status=$?
  report "${running[$finished]}" "$status"
  [ "$status" -eq 0 ] || failed=$((failed + 1))
  unset "running[$finished]"
done

echo "fuzz: ${#targets[@]} targets, $failed failed, ${seconds} s each at most"
[ "$failed" -eq 0 ]
