#!/usr/bin/env bash
# A fresh Wine prefix for one run of the Windows tests.
#   wine-prefix.sh create FILE   makes a 64-bit prefix (32-bit programs run in
#                                it under WOW64, as on 64-bit Windows) in a new
#                                temporary folder, with the null graphics
#                                driver, and writes its path to FILE
#   wine-prefix.sh remove FILE   stops its wineserver and removes it
# Every Wine command runs under a time-out.
set -euo pipefail
action=$1 file=$2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
  create)
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine.XXXXXX")
    WINEPREFIX=$prefix timeout 180 wineboot -i >/dev/null 2>&1
    # No X display here: Wine's null graphics driver still gives programs
    # their windows and messages (FindWindowW, SendMessageW), unseen.
    WINEPREFIX=$prefix timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 60 wineserver -w
    echo "$prefix" > "$file"
    echo "wine prefix: $prefix"
    ;;
  remove)
    [ -f "$file" ] || exit 0
    prefix=$(cat "$file")
    WINEPREFIX=$prefix timeout 60 wineserver -k 2>/dev/null || true
    case $prefix in "${TMPDIR:-/tmp}"/bvl-wine.*) rm -rf "$prefix" ;; esac
    rm -f "$file"
    ;;
  *) echo "usage: $0 create|remove FILE" >&2; exit 2 ;;
esac
