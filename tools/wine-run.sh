#!/usr/bin/env bash
# Runs a Windows program under Wine, under a time-out (BVL_WINE_TIMEOUT
# seconds, default 300): in the prefix named by WINEPREFIX, else in the one
# whose path the file BVL_WINE_PREFIX_FILE holds (the test run's), else in a
# fresh prefix of its own that is removed afterwards.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
own=""
if [ -z "${WINEPREFIX:-}" ]; then
  if [ -n "${BVL_WINE_PREFIX_FILE:-}" ] && [ -f "$BVL_WINE_PREFIX_FILE" ]; then
    WINEPREFIX=$(cat "$BVL_WINE_PREFIX_FILE")
  else
    own=$(mktemp -u "${TMPDIR:-/tmp}/bvl-wine-own.XXXXXX")
    bash "$here/wine-prefix.sh" create "$own" >/dev/null || exit 1
    WINEPREFIX=$(cat "$own")
  fi
fi
export WINEPREFIX
timeout "${BVL_WINE_TIMEOUT:-300}" wine "$@"
status=$?
[ -n "$own" ] && bash "$here/wine-prefix.sh" remove "$own"
exit $status
