#!/usr/bin/env bash
# The native wizard under Wine on a virtual 1920 x 1080 display, against the
# loopback agent server and update host, driven with xdotool and read back
# with window_probe.exe (its windows, as another process sees them) and
# pixels of the screen:
#   - the licence page: the window 580 x 300 at (670, 390), its colours,
#     every control at its layout rectangle, the agreement read-only and
#     shown from its first line, the key filter, the drag by the title bar;
#   - the stop dialog's confirmation form (Cancel returns, OK ends);
#   - an installation to the completion page, whose OK with the box checked
#     creates the shortcuts (read back with lnkinfo);
#   - the message form of the stop dialog (an installation exists);
#   - a failed installation: the worker's message box, the completion page's
#     failure form, and no shortcut from its OK.
#
#   wizard_test.sh <source-dir> <build-dir> <make_pe of the Linux build>
#                  <window_probe.exe>
# Exit code 77 (skipped) without make_pe, or where Wine cannot run the
# program's processor. BVL_SAVE_PICTURES names a folder that keeps the
# pictures of the pages.
set -euo pipefail
source_dir=$1 build=$2 make_pe=$3 probe_exe=$4
architecture=${BVL_PROGRAM_ARCHITECTURE:-x86}
[ -x "$make_pe" ] || { echo "wizard_test: $make_pe is missing (build the default preset); skipped"; exit 77; }
. "$source_dir/tools/wine-loader.sh"
bvl_choose_wine_loader
if ! bvl_wine_runs "$architecture"; then
  echo "wizard_test: this machine cannot run 32-bit programs; skipped"
  exit 77
fi
. "$source_dir/tools/display-helpers.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wizard-test.XXXXXX")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() {
  [ -z "${run_pid:-}" ] || { kill "$run_pid" 2>/dev/null || true; }
  bash "$source_dir/tools/wine-installation.sh" stop "$work" >/dev/null 2>&1 || true
  display_stop
  if [ "$failures" = 0 ]; then rm -rf "$work"; else echo "kept for a look: $work"; fi
}
trap cleanup EXIT

display_start 1920x1080x24
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
bash "$source_dir/tools/wine-installation.sh" run "$work" --build "$build" --make-pe "$make_pe" --port "$port" \
  --display "$DISPLAY" >"$work/prepare-log.txt" 2>&1 || { cat "$work/prepare-log.txt"; echo "FAIL: no prefix"; exit 1; }
export WINEPREFIX=$work/wine-prefix LC_ALL=ko_KR.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
installer=$(cat "$work/installer-path")
drive_c=$WINEPREFIX/drive_c
cp "$probe_exe" "$drive_c/window_probe.exe"
pictures=$work/pictures
mkdir -p "$pictures"

# The installer in the background; run_pid is its Wine process.
start_installer() {
  WINEDEBUG=-all timeout 600 wine "$installer" >"$work/installer-log.txt" 2>&1 &
  run_pid=$!
}
# Waits up to $1 seconds for the installer to end.
wait_end() {
  local _
  for _ in $(seq $(($1 * 5))); do kill -0 "$run_pid" 2>/dev/null || { wait "$run_pid" || true; run_pid=""; return 0; }; sleep 0.2; done
  return 1
}
# window_probe's lines for the wizard (or the message dialog).
probe() { WINEDEBUG=-all timeout 60 wine 'C:\window_probe.exe' "$1" >"$work/probe.txt" 2>/dev/null || true; tr -d '\r' <"$work/probe.txt"; }
# The line of control $2 in the probe's output $1: id class visible l t r b ...
control() { awk -v id="$2" '$1 == id' <<<"$1" | head -1; }
# Checks that control $2 of probe output $1 is visible at "l t r b" $3 in its parent.
expect_control() {
  local line
  line=$(control "$1" "$2")
  read -r -a f <<<"$line"
  [ "${f[2]:-}" = 1 ] && [ "${f[3]:-} ${f[4]:-} ${f[5]:-} ${f[6]:-}" = "$3" ] ||
    fail "control $2 is not visible at ($3): ${line:-missing}"
}
# Waits up to $2 seconds for the probe of $1 to show line pattern $3.
wait_probe() {
  local _
  for _ in $(seq $(($2 * 2))); do probe "$1" | grep -qE "$3" && return 0; sleep 0.5; done
  return 1
}
shoot() { screenshot "$pictures/$1.png" "$2" "$3" "$4" "$5"; }
# The string table's text $1 as window_probe shows it (\r\n as written).
string_text() { awk -F'\t' -v id="$1" '$1 == id {print $2}' "$source_dir/resources/strings_ko.txt"; }
# Checks that control $2 of probe output $1 shows string $3.
expect_text() {
  local line
  line=$(control "$1" "$2")
  [ "${line#* text=}" = "$(string_text "$3")" ] || fail "control $2 does not show string $3: ${line:-missing}"
}
# True when the rectangle $2 $3 $4 $5 (x y w h) of the picture $1 holds a
# caption: pixels darker than the faces and borders of the buttons (170,
# 170, 170 and lighter), as the grey (112, 112, 112) text is.
has_caption() {
  local darkest
  darkest=$(convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -format '%[fx:round(minima*255)]' info:)
  [ "$darkest" -lt 150 ]
}
# Counts the pixels of colour $2 (RRGGBB) in the picture $1.
count_colour() {
  convert "$1" -depth 8 txt:- | grep -ci "#$2" || true
}

# Where the wizard stands: 580 x 300, centred on the 1920 x 1080 screen.
X=670 Y=390

echo "== the licence page"
start_installer
wait_probe wizard 120 '^window 670 390 580 300 visible 1$' || fail "the wizard is not 580 x 300 at (670, 390): $(probe wizard | head -1)"
wait_pixel 30 $((X + 300)) $((Y + 20)) 00A551 || fail "the title bar is not green (0, 165, 81)"
sleep 1
shoot licence $X $Y 580 300
has_caption "$pictures/licence.png" 375 267 86 21 || fail "the agree button shows no caption"
has_caption "$pictures/licence.png" 473 267 86 21 || fail "the cancel button shows no caption"
[ "$(pixel $((X + 300)) $((Y + 270)))" = F0F0F0 ] || fail "the button band is not (240, 240, 240)"
[ "$(pixel $X $((Y + 150)))" = D1D1D1 ] || fail "the left frame is not (209, 209, 209): $(pixel $X $((Y + 150)))"
[ "$(pixel $((X + 579)) $((Y + 150)))" = D1D1D1 ] || fail "the right frame is not (209, 209, 209)"
screenshot "$work/logo.png" $((X + 18)) $((Y + 11)) 14 19
[ "$(count_colour "$work/logo.png" FFFFFF)" -ge 10 ] || fail "no white logo glyph in (18, 11)-(32, 30)"
screenshot "$work/title.png" $((X + 40)) $((Y + 12)) 180 14
[ "$(count_colour "$work/title.png" FFFFFF)" -ge 20 ] || fail "no white title text on the green bar"

tree=$(probe wizard)
expect_control "$tree" 1029 "40 12 220 26"
expect_control "$tree" 1026 "373 265 463 290"
expect_control "$tree" 1027 "471 265 561 290"
expect_control "$tree" 1028 "547 12 562 27"
grep -qE '^0 #32770 1 1 40 579 254 ' <<<"$tree" || fail "the licence page is not at (1, 40)-(579, 254)"
expect_control "$tree" 1012 "17 22 561 72"
expect_text "$tree" 1029 306
expect_text "$tree" 1026 311
expect_text "$tree" 1027 303
expect_text "$tree" 1012 307
expect_control "$tree" 1002 "18 80 562 200"
read -r -a agreement <<<"$(control "$tree" 1002)"
[ "${agreement[1]}" = RichEdit20W ] || fail "the agreement box is a ${agreement[1]}, not RichEdit20W"
# Multi-line, read-only, its scroll bar always there, a vertical scroll bar,
# a tab stop (the dialog manager turns the template's WS_BORDER into a
# client edge).
[ $((0x${agreement[7]} & 0x00212804)) = $((0x00212804)) ] || fail "the agreement box's style is ${agreement[7]}"
[ "${agreement[9]} ${agreement[10]}" = "first-line 0" ] || fail "the agreement does not show its first line: ${agreement[*]}"
[ "${agreement[8]}" -gt 100 ] || fail "the agreement holds only ${agreement[8]} characters"

echo "== the key filter and the agreement's read-only box"
wid=$(find_window '^브림베일 설치 프로그램$' 10)
xdotool mousemove --sync $((X + 300)) $((Y + 140)) click 1
for key in Escape Return space F1 alt+F4 ctrl+x ctrl+v a b Delete BackSpace; do xdotool key "$key"; done
sleep 1
tree=$(probe wizard)
grep -q '^window 670 390 580 300 visible 1$' <<<"$tree" || fail "a key closed or moved the wizard: $(head -1 <<<"$tree")"
read -r -a after <<<"$(control "$tree" 1002)"
[ "${after[8]}" = "${agreement[8]}" ] || fail "typing changed the agreement: ${agreement[8]} -> ${after[8]} characters"
expect_control "$tree" 1026 "373 265 463 290"

echo "== the drag by the title bar"
xdotool mousemove --sync $((X + 300)) $((Y + 39)) mousedown 1
sleep 0.3
xdotool mousemove --sync $((X + 360)) $((Y + 79))
sleep 0.3
xdotool mouseup 1
sleep 1
probe wizard | grep -q '^window 730 430 580 300 ' || fail "a drag from y = 39 did not move the wizard by (60, 40): $(probe wizard | head -1)"
xdotool mousemove --sync $((X + 360)) $((Y + 79)) mousedown 1
sleep 0.3
xdotool mousemove --sync $((X + 300)) $((Y + 39))
sleep 0.3
xdotool mouseup 1
sleep 1
# A press below the bar (on the licence page) moves nothing.
xdotool mousemove --sync $((X + 300)) $((Y + 45)) mousedown 1 mousemove --sync $((X + 350)) $((Y + 95)) mouseup 1
sleep 1
probe wizard | grep -q '^window 670 390 580 300 ' || fail "the wizard is not back at (670, 390) or moved from below its bar: $(probe wizard | head -1)"

echo "== the stop dialog (confirmation form)"
click $((X + 516)) $((Y + 277))
wait_probe message 20 '^window 825 457 270 165 visible 1$' || fail "no stop dialog of 270 x 165 at (825, 457)"
sleep 1
shoot stop-confirmation 825 457 270 165
has_caption "$pictures/stop-confirmation.png" 65 132 86 21 || fail "the stop dialog's OK shows no caption"
has_caption "$pictures/stop-confirmation.png" 163 132 86 21 || fail "the stop dialog's Cancel shows no caption"
message=$(probe message)
expect_control "$message" 1015 "63 130 153 155"
expect_control "$message" 1016 "161 130 251 155"
expect_control "$message" 1020 "40 12 220 26"
expect_control "$message" 1021 "17 63 217 78"
expect_text "$message" 1020 306
expect_text "$message" 1021 309
expect_text "$message" 1015 304
expect_text "$message" 1016 305
for key in Escape Return space; do xdotool key "$key"; done
sleep 1
probe message | grep -q '^window 825 457 270 165 visible 1$' || fail "a key closed the stop dialog"
click $((825 + 206)) $((457 + 142))
sleep 1
probe message | grep -q '^window' && fail "Cancel did not close the stop dialog"
expect_control "$(probe wizard)" 1002 "18 80 562 200"
click $((X + 554)) $((Y + 19))
wait_probe message 20 '^window 825 457 270 165 visible 1$' || fail "the close button shows no stop dialog"
click $((825 + 108)) $((457 + 142))
wait_end 30 || fail "OK in the stop dialog did not end the installer"

echo "== an installation to the completion page"
start_installer
wait_probe wizard 120 '^1002 .* 1 18 80 562 200 ' || fail "the wizard did not open again"
sleep 1
click $((X + 418)) $((Y + 277))
# While the installation runs (the page is up as soon as Agree is pressed).
wait_probe wizard 30 '^1004 msctls_progress32 1 ' || fail "the progress page did not come"
tree=$(probe wizard)
grep -qE '^0 #32770 1 1 40 579 254 ' <<<"$tree" || fail "the progress page is not at (1, 40)-(579, 254)"
expect_control "$tree" 1023 "17 24 217 42"
expect_control "$tree" 1004 "18 54 562 74"
expect_control "$tree" 1024 "18 85 562 207"
for id in 1026 1027 1028; do
  [ "$(control "$tree" $id | awk '{print $3}')" = 0 ] || fail "button $id is visible while the installation runs"
done
shoot progress $X $Y 580 300
wait_probe wizard 600 '^1013 .* 1 17 23 267 56 ' || fail "the completion page did not come"
sleep 1
shoot completion $X $Y 580 300
tree=$(probe wizard)
expect_control "$tree" 1025 "18 80 36 98"
grep -qE '^1025 .* checked 1 ' <<<"$tree" || fail "the shortcut box is not checked: $(control "$tree" 1025)"
[ "$(control "$tree" 1027 | awk '{print $3}')" = 1 ] || fail "the OK button is hidden on the completion page"
expect_text "$tree" 1027 302
expect_text "$tree" 1013 310
[ "$(control "$tree" 1028 | awk '{print $3}')" = 0 ] || fail "the close button shows on the completion page"
# Space does not toggle the box from the keyboard (the key filter).
xdotool key Tab space
sleep 1
grep -qE '^1025 .* checked 1 ' <<<"$(probe wizard)" || fail "Space toggled the shortcut box"
click $((X + 516)) $((Y + 277))
wait_end 60 || fail "OK on the completion page did not end the installer"
links=$(find "$drive_c" -name '브림베일.lnk' | sort)
[ "$(wc -l <<<"$links")" = 2 ] || fail "not two shortcuts: ${links:-none}"
while IFS= read -r link; do
  [ -n "$link" ] || continue
  info=$(lnkinfo "$link" </dev/null 2>&1 || true)
  grep -qiE 'Local path.*brimvale\\BrimvaleAgent\.exe' <<<"$info" || fail "$link does not point at brimvale\\BrimvaleAgent.exe: $info"
  grep -q 'Description.*브림베일' <<<"$info" || fail "$link has not the description 브림베일"
done <<<"$links"
grep -q 'Desktop/브림베일.lnk' <<<"$links" || fail "no shortcut on the desktop"
grep -q 'Programs/Brimvale/브림베일.lnk' <<<"$links" || fail "no shortcut in the programs menu's Brimvale folder"

echo "== the stop dialog's message form (an installation exists)"
start_installer
wait_probe message 120 '^window 825 457 270 165 visible 1$' || fail "no message dialog for the existing installation"
sleep 1
shoot stop-message 825 457 270 165
message=$(probe message)
expect_control "$message" 1015 "161 130 251 155"
[ "$(control "$message" 1016 | awk '{print $3}')" = 0 ] || fail "the message form shows Cancel"
expect_text "$message" 1015 304
expect_text "$message" 1021 312
click $((825 + 206)) $((457 + 142))
wait_end 30 || fail "the message form's OK did not end the installer"

echo "== a failed installation"
find "$drive_c" -name '브림베일.lnk' -delete
WINEDEBUG=-all timeout 60 wine reg delete \
  'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}' /reg:64 /f \
  >/dev/null 2>&1 || true
WINEDEBUG=-all timeout 60 wine sc stop bvlsvc >/dev/null 2>&1 || true
# The update host loses its version manifest.
find "$work/servers" -name proverinfo.dat -delete
start_installer
wait_probe wizard 120 '^1002 .* 1 18 80 562 200 ' || fail "the wizard did not open for the failing run"
sleep 1
click $((X + 418)) $((Y + 277))
box=$(find_window '^브림베일$' 120) || fail "no message box from the failing installation"
if [ -n "${box:-}" ]; then
  window_geometry "$box"
  shoot failure-message "$X" "$Y" "$WIDTH" "$HEIGHT"
  X=670 Y=390
  press_key "$box" Return
fi
wait_probe wizard 60 '^1013 .* 1 17 23 267 56 ' || fail "the failure form of the completion page did not come"
sleep 1
shoot completion-failure $X $Y 580 300
tree=$(probe wizard)
[ "$(control "$tree" 1025 | awk '{print $3}')" = 0 ] || fail "the shortcut box shows after a failure"
expect_text "$tree" 1013 313
click $((X + 516)) $((Y + 277))
wait_end 60 || fail "OK after the failure did not end the installer"
[ -z "$(find "$drive_c" -name '브림베일.lnk')" ] || fail "a failed installation's OK created shortcuts"

echo "== pictures in $pictures"
ls "$pictures"
# BVL_SAVE_PICTURES names a folder to keep them in.
if [ -n "${BVL_SAVE_PICTURES:-}" ]; then mkdir -p "$BVL_SAVE_PICTURES" && cp "$pictures"/*.png "$BVL_SAVE_PICTURES/"; fi
if [ "$failures" != 0 ]; then
  echo "wizard_test: $failures failure(s)"
  exit 1
fi
echo "wizard_test: passed"
