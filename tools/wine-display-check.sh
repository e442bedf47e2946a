#!/usr/bin/env bash
# Checks the display environment of the Windows wizard under Wine, without
# the installer: a virtual 1920x1080 display, a fresh desktop prefix
# (tools/wine-prefix.sh create-desktop), then
#   - tools/wine-display/display_check.exe: code page 949 and user locale
#     0x0412, Direct2D drawing into a memory DC, DirectWrite and GDI text in
#     "맑은 고딕", Korean text in the dialog fonts;
#   - tools/drive-wine-wizard.sh on tools/wine-display/wizard_stand_in.exe
#     (a window with the wizard's title, place, colours and buttons):
#     licence, Agree, progress, completion, OK; and its refusal message.
#   wine-display-check.sh [--arch i686|x86_64] [--keep DIR]
# Both programs are built for --arch (default i686, as the installer) with
# mingw-w64. --keep DIR keeps the pictures (the stand-in's pages and the
# check's text as BMP) in DIR. Exits with 1 when a check failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=i686 keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=${2:-}; shift 2 ;;
    --keep) keep=${2:-}; shift 2 ;;
    *) echo "usage: $0 [--arch i686|x86_64] [--keep DIR]" >&2; exit 2 ;;
  esac
done
case "$arch" in i686|x86_64) ;; *) echo "wine-display-check: --arch takes i686 or x86_64" >&2; exit 2 ;; esac
export WINEDEBUG=-all

. "$here/display-helpers.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-display-check.XXXXXX")
cleanup() {
  bash "$here/wine-prefix.sh" remove "$work/prefix.path" || true
  display_stop
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp -r "$work/pictures" "$work"/*.png "$keep"/ 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

for program in display_check wizard_stand_in; do
  "$arch-w64-mingw32-g++-posix" -std=c++17 -O1 -municode -static -o "$work/$program.exe" \
    "$here/wine-display/$program.cpp" -ld2d1 -ldwrite -lcomctl32 -lgdi32 \
    $([ $program = wizard_stand_in ] && echo -mwindows)
done

display_start 1920x1080x24
echo "== display $DISPLAY"
bash "$here/wine-prefix.sh" create-desktop "$work/prefix.path" "$DISPLAY"
prefix=$(cat "$work/prefix.path")
wine=${BVL_WINE:-wine}
failed=0

echo "== display_check ($arch)"
code=0
env WINEPREFIX="$prefix" LC_ALL=ko_KR.UTF-8 BVL_CHECK_PICTURES="Z:${work//\//\\}" \
  timeout 120 "$wine" "$work/display_check.exe" >"$work/check.txt" 2>"$work/check-log.txt" || code=$?
tr -d '\r' <"$work/check.txt"
for kind in dwrite gdi; do
  [ -f "$work/$kind.bmp" ] && convert "$work/$kind.bmp" -alpha off "$work/text-$kind.png"
done
# Every check reports a line, and none failed.
if [ "$code" != 0 ] || [ "$(grep -c ' ok ' "$work/check.txt")" != 5 ]; then
  echo "wine-display-check: display_check failed (exit code $code)" >&2
  failed=1
fi

# The stand-in under the installer's two kinds of names.
downloads=$prefix/drive_c/users/Public/Downloads
mkdir -p "$downloads"
cp "$work/wizard_stand_in.exe" "$downloads/bvlInstaller[c3RhbmQtaW4=].exe"
cp "$work/wizard_stand_in.exe" "$downloads/bvlInstaller.exe"
printf '%s\n' 'IDD_BVLINSTALLER_DIALOG="0 0 580 300"' 'IDC_BUTTON_AGREE="373 265 463 290"' \
  'IDC_BUTTON_CANCEL="471 265 561 290"' 'IDD_PROGRESS_VIEW="1 40 579 254"' 'IDC_PROGRESS="18 54 562 74"' \
  >"$work/stand-in-layout.txt"
echo "== the stand-in wizard"
if ! BVL_WINE_LOG="$work/stand-in-log.txt" bash "$here/drive-wine-wizard.sh" --layout "$work/stand-in-layout.txt" \
  "$prefix" "$DISPLAY" 'C:\users\Public\Downloads\bvlInstaller[c3RhbmQtaW4=].exe' "$work/pictures"; then
  echo "wine-display-check: the stand-in wizard was not driven to its end" >&2
  failed=1
fi
# The window where the wizard stands on a 1920x1080 screen, in the pictures
# the licence page's title bar green and the completion page's OK there.
for check in "1-licence 290 5 00A551" "3-completion 471 277 AAAAAA"; do
  read -r name x y want <<<"$check"
  got=$(convert "$work/pictures/$name.png" -crop "1x1+$x+$y" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tail -1)
  [ "$got" = "$want" ] || { echo "wine-display-check: $name.png has $got at ($x, $y), not $want" >&2; failed=1; }
done
echo "== the stand-in's refusal"
if ! BVL_WINE_LOG="$work/refusal-log.txt" bash "$here/drive-wine-wizard.sh" --refusal \
  "$prefix" "$DISPLAY" 'C:\users\Public\Downloads\bvlInstaller.exe' "$work/pictures"; then
  echo "wine-display-check: the refusal message was not shown and closed" >&2
  failed=1
fi
[ "$failed" = 0 ] && echo "== the display environment works"
exit "$failed"
