#!/usr/bin/env bash
# Runs a test program of the native wizard under Wine on a virtual X display:
# Direct2D draws only where Wine has an OpenGL display (the x11 driver on
# Xvfb with Mesa), not with the null driver of the shared test prefix. The
# run has a prefix of its own, made fresh and removed afterwards, in which
# the wizard's font family "맑은 고딕" is replaced by the installed NanumGothic.
#   run_on_display.sh PROGRAM [ARGUMENTS...]
# Exit status: the program's; 77 (skipped) when Xvfb is missing.
set -uo pipefail
program=$1
shift
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
wine=${BVL_WINE:-wine}
# A host that runs no 32-bit processes cannot start Wine's 32-bit loader,
# which the wine script prefers; a 64-bit program then runs on wine64 itself.
if [ -z "${BVL_WINE:-}" ] && ! wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
fi

display=""
for n in $(seq 90 160); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine-ui.XXXXXX")
Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

export WINEPREFIX=$work/prefix DISPLAY=:$display
cleanup() {
  timeout 60 wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

timeout 180 "$wine" wineboot -i >"$work/wineboot.log" 2>&1
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '맑은 고딕' /d NanumGothic /f \
  >"$work/reg.log" 2>&1
timeout 60 wineserver -w
timeout "${BVL_WINE_TIMEOUT:-300}" "$wine" "$program" "$@" >"$work/output.log" 2>&1
status=$?
cat "$work/output.log"
exit $status
