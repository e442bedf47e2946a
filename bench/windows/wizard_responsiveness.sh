#!/usr/bin/env bash
# How responsive the native wizard stays under Wine while an installation
# from the loopback servers runs: heartbeat_probe.exe places a 5 ms timer in
# the wizard's user-interface thread (heartbeat_hook.dll) and reports the
# longest gap between its ticks (the longest stall a user would feel; the
# target is under 50 ms), and the installation's time from Agree to the
# completion page. The
# peer is the same installation by the console front end in the same prefix
# (no windows); the ratio of the two times is the wizard's cost.
#
#   bench/windows/wizard_responsiveness.sh [preset]   (default: windows, or
#                                                     windows64 where Wine
#                                                     runs 64-bit programs only)
# Needs the preset built and the default preset's make_pe and
# bvl_print_layout.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
. tools/wine-loader.sh
bvl_choose_wine_loader
preset=${1:-windows}
[ "$BVL_WINE_RUNS_32BIT" = 1 ] || preset=${1:-windows64}
build=$root/build/$preset
probe=$build/bench/windows/heartbeat_probe.exe
for file in "$probe" "$build/app/bvlInstaller.exe" "$root/build/default/tools/make_pe"; do
  [ -f "$file" ] || { echo "wizard_responsiveness: $file is not built" >&2; exit 1; }
done
. tools/display-helpers.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-bench-wizard.XXXXXX")
cleanup() {
  tools/wine-installation.sh stop "$work" >/dev/null 2>&1 || true
  display_stop
  rm -rf "$work"
}
trap cleanup EXIT
display_start 1920x1080x24
port=$(python3 -S -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
tools/wine-installation.sh run "$work" --build "$build" --make-pe "$root/build/default/tools/make_pe" --port "$port" \
  --display "$DISPLAY" >"$work/prepare.log" 2>&1 || { cat "$work/prepare.log"; exit 1; }
export WINEPREFIX=$work/wine-prefix LC_ALL=ko_KR.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
installer=$(cat "$work/installer-path")
cp "$probe" "$build/bench/windows/heartbeat_hook.dll" "$WINEPREFIX/drive_c/"

echo "== the wizard: Agree, the installation, OK (heartbeat every 5 ms)"
timeout 900 wine 'C:\heartbeat_probe.exe' >"$work/heartbeat.txt" 2>"$work/heartbeat.err" &
probe_pid=$!
tools/drive-wine-wizard.sh --layout "$root/build/default/app/bvl_print_layout" "$WINEPREFIX" "$DISPLAY" "$installer" \
  "$work/pictures" >"$work/drive.log" 2>&1 || { cat "$work/drive.log"; echo "the wizard did not finish" >&2; exit 1; }
wait "$probe_pid" || { cat "$work/heartbeat.err"; exit 1; }
tr -d '\r' <"$work/heartbeat.txt" >"$work/heartbeat"
cat "$work/heartbeat"

echo "== the peer: the console front end, the same installation again"
timeout 60 wine reg delete \
  'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}' /reg:64 /f \
  >/dev/null 2>&1 || true
console=${installer%.exe}-console.exe
cp "$build/app/bvlInstallerConsole.exe" "$WINEPREFIX/drive_c/$(printf '%s' "${console#C:\\}" | tr '\\' /)"
start=$(date +%s%N)
timeout 900 wine "$console" >"$work/console.txt" 2>&1 || true
console_ms=$(( ($(date +%s%N) - start) / 1000000 ))
grep -q "completion page shown" "$work/console.txt" || { tail -5 "$work/console.txt"; echo "the console run did not finish" >&2; exit 1; }
wizard_ms=$(awk '/^install_ms/ {print $2}' "$work/heartbeat")
gap=$(awk '/^longest_gap_ms/ {print $2}' "$work/heartbeat")
echo "console installation: $console_ms ms (process start to end)"
awk -v w="$wizard_ms" -v c="$console_ms" -v g="$gap" 'BEGIN {
  printf "wizard installation: %d ms; ratio wizard / console: %.2f\n", w, w / c
  printf "longest stall of the wizard: %.1f ms (target under 50 ms): %s\n", g, (g < 50 ? "met" : "missed")
}'
