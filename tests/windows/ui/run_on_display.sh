#!/usr/bin/env bash
# Runs a test program of the native wizard under Wine on a virtual X display:
# Direct2D draws only where Wine has an OpenGL display (the x11 driver on
# Xvfb with Mesa), not with the null driver of the shared test prefix. The
# run has a desktop prefix of its own (tools/wine-prefix.sh create-desktop:
# the wizard's font family "맑은 고딕" resolves to the installed NanumGothic),
# made fresh and removed afterwards.
#   run_on_display.sh <source-dir> PROGRAM [ARGUMENTS...]
# Exit status: the program's; 77 (skipped) when Xvfb is missing or Wine
# cannot run the program's processor.
set -uo pipefail
source_dir=$1 program=$2
shift 2
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
. "$source_dir/tools/wine-loader.sh"
bvl_choose_wine_loader
if ! bvl_wine_runs "${BVL_PROGRAM_ARCHITECTURE:-x86}"; then
  echo "this machine cannot run 32-bit programs: skipped"
  exit 77
fi
. "$source_dir/tools/display-helpers.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine-ui.XXXXXX")
cleanup() {
  bash "$source_dir/tools/wine-prefix.sh" remove "$work/prefix.path" >/dev/null 2>&1
  display_stop
  rm -rf "$work"
}
trap cleanup EXIT
display_start 1920x1080x24 || exit 1
bash "$source_dir/tools/wine-prefix.sh" create-desktop "$work/prefix.path" "$DISPLAY" >"$work/prefix.log" 2>&1 ||
  { cat "$work/prefix.log"; exit 1; }
export WINEPREFIX=$(cat "$work/prefix.path") LC_ALL=ko_KR.UTF-8 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
timeout "${BVL_WINE_TIMEOUT:-300}" wine "$program" "$@" >"$work/output.log" 2>&1
status=$?
cat "$work/output.log"
exit $status
