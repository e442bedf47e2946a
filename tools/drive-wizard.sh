#!/usr/bin/env bash
# Drives the installer's wizard on the current X display the way a person
# would, with xdotool, and saves a picture of each page.
#
#   drive-wizard.sh --layout PRINT-LAYOUT WINSIM MACHINE WINDOWS-PATH PICTURES
#       the licence (picture), Agree, the progress page mid-way (picture),
#       the completion page (picture), OK; waits for the installer to end.
#       PRINT-LAYOUT is the build's bvl_print_layout: where the buttons and
#       the bar are comes from the installer's own layout table.
#   drive-wizard.sh --refusal WINSIM MACHINE WINDOWS-PATH PICTURES
#       the start-up refusal's message (picture), its OK
set -euo pipefail

usage="usage: $0 {--layout PRINT-LAYOUT | --refusal} WINSIM MACHINE WINDOWS-PATH PICTURES"
refusal=0
print_layout=
case "${1:-}" in
  --refusal) refusal=1; shift ;;
  --layout) print_layout=${2:-}; shift 2 || true ;;
esac
[ $# -eq 4 ] && { [ $refusal = 1 ] || [ -n "$print_layout" ]; } || { echo "$usage" >&2; exit 2; }
winsim=$1 machine=$2 path=$3 pictures=$4

title_wizard="브림베일 설치 프로그램"  # the main window's text
title_message="브림베일"               # the system message box's caption

# pixel, wait_pixel, find_window, window_geometry, screenshot, click, press_key
. "$(dirname "$0")/display-helpers.sh"

"$winsim" --machine "$machine" run "$path" &
run_pid=$!

shoot() { screenshot "$pictures/$5.png" "$1" "$2" "$3" "$4"; echo "   picture: $5.png"; }
end_installer() {
  local pid
  pid=$(xdotool getwindowpid "$1" 2>/dev/null || true)
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
}

if [ $refusal = 1 ]; then
  wid=$(find_window "^$title_message\$" 60) || { echo "drive-wizard: no refusal message appeared" >&2; exit 1; }
  window_geometry "$wid"
  sleep 0.5
  shoot "$X" "$Y" "$WIDTH" "$HEIGHT" 4-refusal
  # No window manager gives it the focus: take it, then press Enter as a
  # person would to close the message.
  press_key "$wid" Return
  for _ in $(seq 50); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$run_pid" 2>/dev/null; then
    echo "drive-wizard: the refusal did not end the installer" >&2
    end_installer "$wid"
    wait "$run_pid" || true
    exit 1
  fi
  wait "$run_pid" || true
  exit 0
fi

# The layout table: NAME="left top right bottom" for each window and control.
layout=$("$print_layout") || { echo "drive-wizard: $print_layout gave no layout" >&2; kill "$run_pid"; exit 1; }
eval "$layout"
# Field $2 (1 left, 2 top, 3 right, 4 bottom) of the entry $1; the entry's
# centre along x or y.
edge() { local -a r; read -r -a r <<<"$1"; echo "${r[$(($2 - 1))]}"; }
centre_x() { echo $(( ($(edge "$1" 1) + $(edge "$1" 3)) / 2 )); }
centre_y() { echo $(( ($(edge "$1" 2) + $(edge "$1" 4)) / 2 )); }
width=$(( $(edge "$IDD_BVLINSTALLER_DIALOG" 3) - $(edge "$IDD_BVLINSTALLER_DIALOG" 1) ))
height=$(( $(edge "$IDD_BVLINSTALLER_DIALOG" 4) - $(edge "$IDD_BVLINSTALLER_DIALOG" 2) ))

wid=$(find_window "^$title_wizard\$" 120) || { echo "drive-wizard: the wizard did not open" >&2; kill "$run_pid"; exit 1; }
window_geometry "$wid"
# The licence page once the window is painted (its green title bar).
wait_pixel 10 $((X + width / 2)) $((Y + 5)) 00A551 || true
sleep 0.5
shoot "$X" "$Y" "$width" "$height" 1-licence
echo "   Agree"
click $((X + $(centre_x "$IDC_BUTTON_AGREE"))) $((Y + $(centre_y "$IDC_BUTTON_AGREE")))

# Mid-way: the bar has begun to fill (its first pixels leave the button
# face). The bar's controls are placed inside the progress page.
bar_x=$(( $(edge "$IDD_PROGRESS_VIEW" 1) + $(edge "$IDC_PROGRESS" 1) + 2 ))
bar_y=$(( $(edge "$IDD_PROGRESS_VIEW" 2) + $(centre_y "$IDC_PROGRESS") ))
if ! wait_pixel 60 $((X + bar_x)) $((Y + bar_y)) '!F0F0F0'; then
  echo "drive-wizard: the installation did not start (the progress bar did not move in 60 s)" >&2
  shoot "$X" "$Y" "$width" "$height" 2-progress
  end_installer "$wid"
  wait "$run_pid" || true
  exit 1
fi
sleep 0.3
shoot "$X" "$Y" "$width" "$height" 2-progress

# The completion page: the OK button's (the cancel button's) left border
# appears in the button band.
ok_y=$(centre_y "$IDC_BUTTON_CANCEL")
if wait_pixel 600 $((X + $(edge "$IDC_BUTTON_CANCEL" 1))) $((Y + ok_y)) AAAAAA; then
  sleep 0.3
  shoot "$X" "$Y" "$width" "$height" 3-completion
  echo "   OK"
  click $((X + $(centre_x "$IDC_BUTTON_CANCEL"))) $((Y + ok_y))
  wait "$run_pid"
else
  echo "drive-wizard: the installation did not reach the completion page" >&2
  shoot "$X" "$Y" "$width" "$height" 3-no-completion
  end_installer "$wid"
  wait "$run_pid" || true
  exit 1
fi
