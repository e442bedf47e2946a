# Shell functions for driving a program's windows on an X display the way a
# person would, with xdotool, and for taking pictures of them (ImageMagick).
# Sourced by tools/drive-wizard.sh (the Qt wizard) and
# tools/drive-wine-wizard.sh (the Windows wizard under Wine).
#
#   display_start [WxHxD]      starts an Xvfb (default 1920x1080x24) on a free
#                              display number, exports DISPLAY, sets
#                              display_pid; display_stop ends it
#   pixel X Y                  the colour of one screen pixel, RRGGBB in capitals
#   wait_pixel SECONDS X Y [!]RRGGBB
#                              waits for the pixel to be (with "!": to leave)
#                              the colour; fails after SECONDS
#   find_window REGEX SECONDS  the first visible window whose title matches
#   window_geometry WINDOW     sets X, Y, WIDTH and HEIGHT of the window
#   screenshot FILE [X Y W H]  a PNG of the screen or of a rectangle of it
#   click X Y                  moves the pointer there, lets the hover face
#                              come, presses the left button
#   press_key WINDOW KEY       gives the window the keyboard focus (no window
#                              manager does it) and presses KEY

display_pid=""

display_start() {
  local size=${1:-1920x1080x24} number_file
  number_file=$(mktemp "${TMPDIR:-/tmp}/bvl-display.XXXXXX")
  # Xvfb picks a free display number itself and writes it to the file once
  # it accepts clients.
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  display_pid=$!
  local _
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    kill -0 "$display_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    rm -f "$number_file"
    echo "display_start: Xvfb did not start" >&2
    display_stop
    return 1
  fi
  export DISPLAY=":$(tr -dc 0-9 <"$number_file")"
  rm -f "$number_file"
}

display_stop() {
  if [ -n "$display_pid" ]; then
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
  fi
  display_pid=""
}

pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tail -1 | tr a-f A-F
}

wait_pixel() {
  local seconds=$1 x=$2 y=$3 want=$4 negate=0 got _
  if [ "${want:0:1}" = "!" ]; then negate=1; want=${want:1}; fi
  want=$(tr a-f A-F <<<"$want")
  for _ in $(seq $((seconds * 5))); do
    got=$(pixel "$x" "$y")
    if { [ $negate = 0 ] && [ "$got" = "$want" ]; } || { [ $negate = 1 ] && [ -n "$got" ] && [ "$got" != "$want" ]; }; then
      return 0
    fi
    sleep 0.2
  done
  return 1
}

find_window() {
  timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}

window_geometry() {
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "$1") || return 1
  eval "$(grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9]+$' <<<"$geometry")"
}

screenshot() {
  if [ $# -ge 5 ]; then
    import -window root -crop "$4x$5+$2+$3" +repage "$1"
  else
    import -window root "$1"
  fi
}

click() {
  xdotool mousemove --sync "$1" "$2"
  sleep 0.3
  xdotool click 1
}

press_key() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key "$2"
}
