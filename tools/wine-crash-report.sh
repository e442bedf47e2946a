#!/usr/bin/env bash
# One crash of the Windows build under Wine and its report, the way a user's
# machine sends it: the installer in the prefix $WINEPREFIX runs with a
# crash point armed (BVL_CRASH_POINT), writes its minidump into the user's
# temporary folder and uploads it through the user's proxy (Internet
# Settings) to a loopback crash collector (tools/crash_collector.py), which
# ends the TLS of the collector's host name with a test CA's certificate
# that the prefix trusts as a root.
#
#   wine-crash-report.sh <work> <installer's Windows path> <point> [<way>]
#
# point  ApplicationStart or InitInstance (InstallWorker once the start-up
#        check lets the run reach its worker: no agent installed, servers up)
# way    access (default), exception, abort, purecall, parameter or overflow
#
# Leaves in <work>: exit-code (the installer's, as the shell sees it),
# requests.jsonl (the collector's log), dumps/ (the new dumps of the
# temporary folder), checkpoint (the reporter's, when a report was
# accepted). The proxy setting is removed again at the end.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=-all WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

usage() {
  echo "usage: $0 <work> <installer's Windows path> <point> [access|exception|abort|purecall|parameter|overflow]" >&2
  exit 2
}
[ $# -ge 3 ] && [ -n "${WINEPREFIX:-}" ] || usage
work=$1 installer=$2 point=$3 way=${4:-access}
case $way in
  access) code=0xC0000005 ;;
  exception) code=0xE06D7363 ;;
  abort) code=0x40000015 ;;
  purecall) code=0xC0000025 ;;
  parameter) code=0xC000000D ;;
  overflow) code=0xC00000FD ;;
  *) usage ;;
esac
mkdir -p "$work/dumps"
work=$(cd "$work" && pwd)

collector=""
settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
cleanup() {
  timeout 60 wine reg delete "$settings" /v ProxyServer /f >/dev/null 2>&1
  timeout 60 wine reg delete "$settings" /v ProxyEnable /f >/dev/null 2>&1
  [ -n "$collector" ] && kill "$collector" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

python3 "$source_dir/tools/crash_collector.py" pki "$work/collector-pki" crash.brimvale.example || exit 1
: > "$work/requests.jsonl"
python3 "$source_dir/tools/crash_collector.py" serve --log "$work/requests.jsonl" \
  --cert "$work/collector-pki/server.pem" --key "$work/collector-pki/server.key" --max-seconds 120 \
  > "$work/collector-port" 2>/dev/null &
collector=$!
for _ in $(seq 100); do [ -s "$work/collector-port" ] && break; sleep 0.1; done
[ -s "$work/collector-port" ] || { echo "wine-crash-report: the crash collector did not start" >&2; exit 1; }
bash "$source_dir/tools/wine-trust-root.sh" "$work/collector-pki/ca.pem" || exit 1
timeout 60 wine reg add "$settings" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1 &&
  timeout 60 wine reg add "$settings" /v ProxyServer /d "127.0.0.1:$(head -1 "$work/collector-port")" /f \
    >/dev/null 2>&1 || { echo "wine-crash-report: cannot set the proxy in $WINEPREFIX" >&2; exit 1; }

# The dumps already in the users' temporary folders are not this run's. A
# checkpoint of earlier runs goes too: it would count their reports against
# the day's limit.
users=$WINEPREFIX/drive_c/users
find "$users" -name '*.dmp' > "$work/dumps-before" 2>/dev/null
find "$users" -name 'bvlInstaller.checkpoint' -delete 2>/dev/null
code_shown=0
BVL_CRASH_POINT="$point:$code" timeout "${BVL_WINE_TIMEOUT:-180}" wine "$installer" \
  > "$work/installer-output.txt" 2>/dev/null || code_shown=$?
echo "$code_shown" > "$work/exit-code"
find "$users" -name '*.dmp' | grep -vxF -f "$work/dumps-before" | while read -r dump; do
  cp "$dump" "$work/dumps/"
  # The checkpoint lies beside the dump once a report was accepted.
  [ -f "$(dirname "$dump")/bvlInstaller.checkpoint" ] && cp "$(dirname "$dump")/bvlInstaller.checkpoint" "$work/checkpoint"
done
exit 0
