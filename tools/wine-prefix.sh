#!/usr/bin/env bash
# A fresh Wine prefix for one run of the Windows tests.
#   wine-prefix.sh create FILE   makes a 64-bit prefix (32-bit programs run in
#                                it under WOW64, as on 64-bit Windows) in a new
#                                temporary folder, with the null graphics
#                                driver, and writes its path to FILE
#   wine-prefix.sh create-desktop FILE DISPLAY
#                                the same, for the wizard: Wine's X11 driver on
#                                the X display DISPLAY (no virtual desktop),
#                                a Korean user (code page 949, locale 0x0412)
#                                and the Korean fonts (see desktop_fonts)
#   wine-prefix.sh desktop PREFIX DISPLAY
#                                makes the existing prefix folder PREFIX such
#                                a desktop prefix
#   wine-prefix.sh own-folders PREFIX
#                                gives the prefix's users folders of their own
#                                instead of links to the Unix home folder
#   wine-prefix.sh remove FILE   stops its wineserver and removes it
# Every Wine command runs under a time-out. BVL_WINE names the Wine loader
# (default "wine").
set -euo pipefail
action=${1:-} file=${2:-}
# No menu entries or desktop files of the prefix's programs in the Unix
# user's folders (winemenubuilder).
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
wine=${BVL_WINE:-wine}

# The Korean user of a desktop prefix. Every Wine program run in the prefix
# must have it: a program started under another locale makes Wine rewrite
# the font substitutes ("MS Shell Dlg") for that locale's code page.
korean_locale=ko_KR.UTF-8

# The fonts of a desktop prefix. The wizard's family "맑은 고딕" (and its
# English name), the Korean dialog font "MS Shell Dlg" stands for (Gulim)
# are Windows fonts; Wine's font replacements give their names to
# NanumGothic, for GDI and DirectWrite alike (DirectWrite finds the family
# "맑은 고딕" only through them). The dialog and list view fonts (Tahoma,
# MS Shell Dlg 2, Microsoft Sans Serif, Segoe UI) lack Hangul: their font
# links name NanumGothic, which is also linked into the prefix's Fonts folder
# so that a link by file name finds it.
nanum=/usr/share/fonts/truetype/nanum/NanumGothic.ttf
desktop_fonts() {
  [ -f "$nanum" ] || { echo "wine-prefix: $nanum is missing (tools/install-deps.sh installs fonts-nanum)" >&2; return 1; }
  ln -sf "$nanum" "$WINEPREFIX/drive_c/windows/Fonts/NanumGothic.ttf"
  local regfile=$WINEPREFIX/bvl-desktop-fonts.reg family link
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for family in "맑은 고딕" "Malgun Gothic" "Gulim" "굴림" "GulimChe" "굴림체" "Dotum" "돋움"; do
      printf '"%s"="NanumGothic"\r\n' "$family"
    done
    printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
    # REG_MULTI_SZ as hex(7): UTF-16LE strings, each ended by a zero, and a
    # final zero.
    link=$(printf 'NanumGothic.ttf,NanumGothic\0\0' | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ' ' |
      sed 's/^ //; s/ $//; s/ /,/g')
    for family in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" "맑은 고딕" "Malgun Gothic"; do
      printf '"%s"=hex(7):%s\r\n' "$family" "$link"
    done
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$regfile"
  # Wine's drive Z: is the root folder.
  timeout 60 "$wine" regedit /S "Z:${regfile//\//\\}" >/dev/null 2>&1
  rm -f "$regfile"
}

# Gives the users of the prefix WINEPREFIX folders of their own: Wine links
# a user's Desktop, Documents, Downloads, ... to the Unix home folder, where
# the installer a test copies to Downloads and the shortcuts it makes on the
# desktop would land outside the prefix.
own_folders() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    [ -L "$link" ] || continue
    rm -f "$link"
    mkdir -p "$link"
  done
}

# Turns the prefix WINEPREFIX into a desktop prefix on DISPLAY: Wine's X11
# driver there, windows as top-level X windows (no virtual desktop). The
# wizard is a borderless popup; the frames and captions of other windows
# (the message boxes) Wine draws itself, as Windows does, instead of leaving
# them to a window manager that a virtual display does not have.
make_desktop() {
  timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
  timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  timeout 60 "$wine" reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
  desktop_fonts
}

case $action in
  own-folders)
    # The user folders of the existing prefix folder FILE made its own.
    [ -d "$file/drive_c" ] || { echo "usage: $0 own-folders PREFIX" >&2; exit 2; }
    export WINEPREFIX=$file
    own_folders
    ;;
  desktop)
    # An existing prefix (the folder FILE) made a desktop prefix on DISPLAY.
    display=${3:-}
    [ -d "$file/drive_c" ] && [ -n "$display" ] || { echo "usage: $0 desktop PREFIX DISPLAY" >&2; exit 2; }
    export WINEPREFIX=$file DISPLAY=$display LC_ALL=$korean_locale
    make_desktop
    timeout 60 wineserver -w
    ;;
  create)
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine.XXXXXX")
    WINEPREFIX=$prefix timeout 180 wineboot -i >/dev/null 2>&1
    # No X display here: Wine's null graphics driver still gives programs
    # their windows and messages (FindWindowW, SendMessageW), unseen.
    WINEPREFIX=$prefix timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    WINEPREFIX=$prefix own_folders
    WINEPREFIX=$prefix timeout 60 wineserver -w
    echo "$prefix" > "$file"
    echo "wine prefix: $prefix"
    ;;
  create-desktop)
    display=${3:-}
    [ -n "$file" ] && [ -n "$display" ] || { echo "usage: $0 create-desktop FILE DISPLAY" >&2; exit 2; }
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine.XXXXXX")
    export WINEPREFIX=$prefix DISPLAY=$display LC_ALL=$korean_locale
    code=0
    timeout 180 "$wine" wineboot -i >"$prefix.boot-log" 2>&1 || code=$?
    if [ "$code" != 0 ]; then
      echo "wine-prefix: wineboot failed (exit code $code):" >&2
      tail -3 "$prefix.boot-log" >&2
      rm -rf "$prefix" "$prefix.boot-log"
      exit 1
    fi
    rm -f "$prefix.boot-log"
    own_folders
    make_desktop || { timeout 60 wineserver -k 2>/dev/null || true; rm -rf "$prefix"; exit 1; }
    timeout 60 wineserver -w
    echo "$prefix" > "$file"
    echo "wine prefix: $prefix (display $display, $korean_locale)"
    ;;
  remove)
    [ -f "$file" ] || exit 0
    prefix=$(cat "$file")
    WINEPREFIX=$prefix timeout 60 wineserver -k 2>/dev/null || true
    case $prefix in "${TMPDIR:-/tmp}"/bvl-wine.*) rm -rf "$prefix" ;; esac
    rm -f "$file"
    ;;
  *) echo "usage: $0 create FILE | create-desktop FILE DISPLAY | desktop PREFIX DISPLAY | own-folders PREFIX | remove FILE" >&2; exit 2 ;;
esac
