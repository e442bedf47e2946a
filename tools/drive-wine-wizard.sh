#!/usr/bin/env bash
# Drives the Windows build's wizard under Wine on an X display the way a
# person would, with xdotool, and saves a picture of each page: the Windows
# counterpart of tools/drive-wizard.sh.
#
#   drive-wine-wizard.sh --layout LAYOUT PREFIX DISPLAY WINDOWS-PATH PICTURES
#       starts WINDOWS-PATH in the Wine prefix PREFIX (a desktop prefix of
#       tools/wine-prefix.sh create-desktop: the folder, or the file holding
#       its path) on DISPLAY; the licence (picture), Agree, the progress page
#       mid-way (picture), the completion page (picture), OK; waits for the
#       installer to end and exits with its exit code. LAYOUT is the layout
#       table, NAME="left top right bottom" a line, as bvl_print_layout of
#       the Linux build prints it: that program, or a file holding its output.
#   drive-wine-wizard.sh --refusal PREFIX DISPLAY WINDOWS-PATH PICTURES
#       the start-up refusal's message box (picture), its OK
#
# The pictures are PICTURES/1-licence.png, 2-progress.png, 3-completion.png
# (3-no-completion.png when the completion page does not come) and
# 4-refusal.png. The installer runs as a Korean user (LC_ALL=ko_KR.UTF-8),
# under a time-out of BVL_WINE_TIMEOUT seconds (default 900), with
# WINEDEBUG as given (default -all); Wine's standard output and error go to
# the file BVL_WINE_LOG (default PICTURES/../wine-wizard-log.txt). BVL_WINE
# names the Wine loader (default "wine").
set -euo pipefail

usage="usage: $0 {--layout LAYOUT | --refusal} PREFIX DISPLAY WINDOWS-PATH PICTURES"
refusal=0
layout_source=
case "${1:-}" in
  --refusal) refusal=1; shift ;;
  --layout) layout_source=${2:-}; shift 2 || true ;;
esac
[ $# -eq 4 ] && { [ $refusal = 1 ] || [ -n "$layout_source" ]; } || { echo "$usage" >&2; exit 2; }
prefix=$1 display=$2 path=$3 pictures=$4
[ -f "$prefix" ] && prefix=$(cat "$prefix")
[ -d "$prefix/drive_c" ] || { echo "drive-wine-wizard: $prefix is not a Wine prefix" >&2; exit 2; }
mkdir -p "$pictures"
pictures=$(cd "$pictures" && pwd)
log=${BVL_WINE_LOG:-$(dirname "$pictures")/wine-wizard-log.txt}
export DISPLAY=$display

title_wizard="브림베일 설치 프로그램"  # the main window's text
title_message="브림베일"               # the system message box's caption

# pixel, wait_pixel, window_geometry, screenshot, click, press_key
. "$(dirname "$0")/display-helpers.sh"
shoot() { screenshot "$pictures/$5.png" "$1" "$2" "$3" "$4"; echo "   picture: $5.png"; }

# The layout table: NAME="left top right bottom" for each window and control.
if [ $refusal = 0 ]; then
  if [ -x "$layout_source" ] && [ ! -d "$layout_source" ]; then
    layout=$("$layout_source") || { echo "drive-wine-wizard: $layout_source gave no layout" >&2; exit 1; }
  else
    layout=$(cat "$layout_source") || { echo "drive-wine-wizard: no layout in $layout_source" >&2; exit 1; }
  fi
  grep -qE '^IDD_BVLINSTALLER_DIALOG="[0-9]+ [0-9]+ [0-9]+ [0-9]+"$' <<<"$layout" ||
    { echo "drive-wine-wizard: $layout_source is not a layout table" >&2; exit 1; }
  eval "$(grep -E '^[A-Z_0-9]+="-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+"$' <<<"$layout")"
fi

# Through a file: a pipe would stay open while the prefix's services run.
env WINEPREFIX="$prefix" LC_ALL=ko_KR.UTF-8 WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d" \
  timeout "${BVL_WINE_TIMEOUT:-900}" "${BVL_WINE:-wine}" "$path" >"$log" 2>&1 &
run_pid=$!

# Waits up to $1 seconds for the installer to end; its exit code in
# installer_code.
installer_code=""
wait_installer() {
  local _
  for _ in $(seq $(($1 * 5))); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$run_pid" 2>/dev/null && return 1
  installer_code=0
  wait "$run_pid" || installer_code=$?
}
# The first window titled $1 (a regular expression) within $2 seconds, while
# the installer runs.
wait_window() {
  local found _
  for _ in $(seq $(($2 * 5))); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$found" ] && { echo "$found"; return 0; }
    kill -0 "$run_pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}
# Ends the installer's Wine process (timeout passes the signal on).
end_installer() {
  kill "$run_pid" 2>/dev/null || true
  wait "$run_pid" 2>/dev/null || true
}

if [ $refusal = 1 ]; then
  wid=$(wait_window "^$title_message\$" 60) ||
    { echo "drive-wine-wizard: no refusal message appeared" >&2; end_installer; exit 1; }
  window_geometry "$wid"
  sleep 0.5
  shoot "$X" "$Y" "$WIDTH" "$HEIGHT" 4-refusal
  # No window manager gives it the focus: take it, then press Enter as a
  # person would to close the message.
  press_key "$wid" Return
  if ! wait_installer 15; then
    echo "drive-wine-wizard: the refusal did not end the installer" >&2
    end_installer
    exit 1
  fi
  exit 0
fi

# Field $2 (1 left, 2 top, 3 right, 4 bottom) of the entry $1; the entry's
# centre along x or y.
edge() { local -a r; read -r -a r <<<"$1"; echo "${r[$(($2 - 1))]}"; }
centre_x() { echo $(( ($(edge "$1" 1) + $(edge "$1" 3)) / 2 )); }
centre_y() { echo $(( ($(edge "$1" 2) + $(edge "$1" 4)) / 2 )); }
width=$(( $(edge "$IDD_BVLINSTALLER_DIALOG" 3) - $(edge "$IDD_BVLINSTALLER_DIALOG" 1) ))
height=$(( $(edge "$IDD_BVLINSTALLER_DIALOG" 4) - $(edge "$IDD_BVLINSTALLER_DIALOG" 2) ))

wid=$(wait_window "^$title_wizard\$" 120) ||
  { echo "drive-wine-wizard: the wizard did not open" >&2; end_installer; exit 1; }
window_geometry "$wid"
# The licence page once the window is painted (its green title bar): the
# first paint waits for Direct2D's OpenGL device.
wait_pixel 20 $((X + width / 2)) $((Y + 5)) 00A551 ||
  echo "drive-wine-wizard: the title bar is not green (0, 165, 81)" >&2
sleep 0.5
shoot "$X" "$Y" "$width" "$height" 1-licence

# The bar's first pixel, placed inside the progress page; what the licence
# page shows there, for telling the pages apart.
bar_x=$(( X + $(edge "$IDD_PROGRESS_VIEW" 1) + $(edge "$IDC_PROGRESS" 1) + 2 ))
bar_y=$(( Y + $(edge "$IDD_PROGRESS_VIEW" 2) + $(centre_y "$IDC_PROGRESS") ))
licence_there=$(pixel "$bar_x" "$bar_y")
echo "   Agree"
click $((X + $(centre_x "$IDC_BUTTON_AGREE"))) $((Y + $(centre_y "$IDC_BUTTON_AGREE")))

# Mid-way: the progress page is up and its bar has begun to fill (its first
# pixels leave both the licence page's colour and the empty bar's face).
filling() {
  local got _
  for _ in $(seq 300); do
    got=$(pixel "$bar_x" "$bar_y")
    if [ -n "$got" ] && [ "$got" != "$licence_there" ] && [ "$got" != F0F0F0 ]; then return 0; fi
    sleep 0.2
  done
  return 1
}
if ! filling; then
  echo "drive-wine-wizard: the installation did not start (the progress bar did not move in 60 s)" >&2
  shoot "$X" "$Y" "$width" "$height" 2-progress
  end_installer
  exit 1
fi
sleep 0.3
shoot "$X" "$Y" "$width" "$height" 2-progress

# The completion page: the OK button (the cancel button's place) comes back
# into the band, whose face (240, 240, 240) gives way to the button's.
ok_x=$(( X + $(edge "$IDC_BUTTON_CANCEL" 1) + 2 ))
ok_y=$(( Y + $(centre_y "$IDC_BUTTON_CANCEL") ))
if ! wait_pixel 600 "$ok_x" "$ok_y" '!F0F0F0'; then
  echo "drive-wine-wizard: the installation did not reach the completion page" >&2
  shoot "$X" "$Y" "$width" "$height" 3-no-completion
  end_installer
  exit 1
fi
sleep 0.3
shoot "$X" "$Y" "$width" "$height" 3-completion
echo "   OK"
click $((X + $(centre_x "$IDC_BUTTON_CANCEL"))) "$ok_y"
if ! wait_installer 60; then
  echo "drive-wine-wizard: the installer did not end after OK" >&2
  end_installer
  exit 1
fi
echo "   the installer ended with exit code $installer_code"
exit "$installer_code"
