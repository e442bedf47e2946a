#!/usr/bin/env bash
# Download and digest of the Windows build under Wine against curl and md5sum
# on the same file from the same loopback nginx, best of the rounds each;
# prints both ratios (ours / peer: below 1 is faster than the peer).
#
#   bench/windows/transfer.sh [size-in-MiB] [rounds]     (default 256, 3)
#
# Needs the Windows build (cmake --preset windows && cmake --build --preset
# windows --target bench_windows_transfer). The Wine prefix is made fresh in
# a temporary folder and removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/../.."
size_mib=${1:-256}
rounds=${2:-3}
program=build/windows/bench/windows/bench_windows_transfer.exe
[ -f "$program" ] || { echo "transfer.sh: build $program first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-bench-transfer.XXXXXX")
prefix_file=$work/prefix.path
cleanup() {
  tools/nginx-fixture.sh stop "$work/content" >/dev/null 2>&1 || true
  bash tools/wine-prefix.sh remove "$prefix_file" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/content/update"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/content/update/payload.bin"
port=$(python3 -S -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
tools/nginx-fixture.sh start "$work/content" "$port" >/dev/null
url="http://127.0.0.1:$port/update/payload.bin"
expected=$(md5sum "$work/content/update/payload.bin" | cut -d' ' -f1)

best() { sort -n | head -n1; }
milliseconds() { local start=$1 end=$2; echo $(( (end - start) / 1000000 )); }

curl_times=() md5_times=()
for _ in $(seq "$rounds"); do
  start=$(date +%s%N); curl -s -o "$work/curl.bin" "$url"; end=$(date +%s%N)
  curl_times+=("$(milliseconds "$start" "$end")")
  start=$(date +%s%N); md5sum "$work/curl.bin" >/dev/null; end=$(date +%s%N)
  md5_times+=("$(milliseconds "$start" "$end")")
done

bash tools/wine-prefix.sh create "$prefix_file" >/dev/null
target="Z:$(echo "$work/ours.bin" | tr / '\\')"
output=$(BVL_WINE_PREFIX_FILE=$prefix_file tools/wine-run.sh "$program" "$url" "$target" "$rounds" | tr -d '\r')
ours_download=$(echo "$output" | awk '{print $1}' | best)
ours_md5=$(echo "$output" | awk '{print $2}' | best)
digest=$(echo "$output" | awk 'NR==1{print $3}')
curl_best=$(printf '%s\n' "${curl_times[@]}" | best)
md5sum_best=$(printf '%s\n' "${md5_times[@]}" | best)

echo "file: ${size_mib} MiB from nginx on loopback, best of $rounds"
[ "$digest" = "$expected" ] || { echo "digest mismatch: ours $digest, md5sum $expected"; exit 1; }
ratio() { awk -v ours="$1" -v peer="$2" 'BEGIN { printf "%.2f", ours / (peer > 0 ? peer : 1) }'; }
printf 'DownloadFile (Windows build, Wine)  %8.1f ms   curl    %6d ms   ratio %s\n' \
  "$ours_download" "$curl_best" "$(ratio "$ours_download" "$curl_best")"
printf 'GetFileMD5   (Windows build, Wine)  %8.1f ms   md5sum  %6d ms   ratio %s\n' \
  "$ours_md5" "$md5sum_best" "$(ratio "$ours_md5" "$md5sum_best")"
