#!/usr/bin/env bash
# The main job: a fresh simulated Windows 10 machine, the agent server and the
# update host on loopback (nginx), the installer run under the name the
# installation page gives it, and the machine's state afterwards.
#   tools/demo.sh [--profile NAME] [--port N] [--keep] [--crash POINT[:WAY]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

profile=win10-x64
port=18480
keep=0
crash=
while [ $# -gt 0 ]; do
  case "$1" in
    --profile) profile=$2; shift 2 ;;
    --port) port=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --crash) crash=$2; shift 2 ;;
    *) echo "usage: $0 [--profile NAME] [--port N] [--keep] [--crash POINT[:WAY]]" >&2; exit 2 ;;
  esac
done

tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${BVL_JOBS:-2}" --target bvlInstaller winsim make_pe crashtool bvl_builtin_programs >/dev/null

build=$root/build/default
work=$(mktemp -d /tmp/bvl-demo.XXXXXX)
content=$work/servers
machine=$work/machine
cleanup() {
  # The agent's programs keep running on the machine until it is shut down.
  [ -d "$machine" ] && "$build/tools/winsim" --machine "$machine" shutdown >/dev/null 2>&1 || true
  tools/nginx-fixture.sh stop "$content" || true
  if [ "$keep" = 0 ]; then rm -rf "$work"; else echo "kept: $work"; fi
}
trap cleanup EXIT

echo "== servers on 127.0.0.1:$port (agent server and update host)"
tools/make-update-host.sh "$content" --port "$port" --pki "$work/pki" --make-pe "$build/tools/make_pe" >/dev/null
tools/nginx-fixture.sh start "$content" "$port"

echo "== fresh $profile machine in $machine"
winsim() { "$build/tools/winsim" --machine "$machine" "$@"; }
"$build/tools/winsim" create "$machine" --profile "$profile"
winsim trust "$work/pki/trusted-roots.pem"

server="http://127.0.0.1:$port"
token=$(printf '%s' "$server" | base64 -w0)
name="bvlInstaller[$token].exe"
downloads="$machine/drive_c/Users/user/Downloads"
cp "$build/app/bvlInstaller" "$downloads/$name"
echo "== running C:\\Users\\user\\Downloads\\$name"
winsim run "C:\\Users\\user\\Downloads\\$name"

# What the installer started on its own (the updater, schtasks.exe) ends
# within moments; the agent service and its programs run on.
sleep 1

echo "== registry: the product key (machine, installer account, desktop user)"
winsim registry 'HKLM\SOFTWARE\Korvanta'
winsim registry 'HKU\Administrator\Software\Korvanta'
winsim registry 'HKU\user\Software\Korvanta'
echo "== the uninstall entry"
winsim registry 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}'
echo "== services (the agent service, and the protection driver on 32-bit Windows)"
winsim services
echo "== the protection driver's registry protection"
winsim driver
echo "== scheduled tasks"
winsim tasks
echo "== running processes"
winsim processes
echo "== files below C:\\Program Files\\Brimvale and the drivers folder"
winsim files 'C:\Program Files\Brimvale' || true
winsim files 'C:\Windows\system32\drivers'
echo "== debug output"
winsim debuglog
echo "== restart: the agent service starts again and the checker runs at system start"
winsim reboot
sleep 1
winsim processes
winsim debuglog | grep -E 'bvlchk|bvlsvc' | tail -4

# --crash: the installer run again, crashing at POINT (ApplicationStart or
# InitInstance) in WAY (access, exception, abort, purecall, overflow); its
# report goes through the machine's proxy to a loopback collector that holds
# a test CA's certificate for the collector's host.
if [ -n "$crash" ]; then
  point=${crash%%:*}; way=${crash#*:}; [ "$way" = "$crash" ] && way=access
  crashtool() { "$build/tools/crashtool" --machine "$machine" "$@"; }
  python3 tools/crash_collector.py pki "$work/crash-pki" crash.brimvale.example
  python3 tools/crash_collector.py serve --log "$work/crash-requests.jsonl" --cert "$work/crash-pki/server.pem" \
    --key "$work/crash-pki/server.key" --max-seconds 60 >"$work/crash-port" 2>/dev/null &
  collector=$!
  for _ in $(seq 50); do [ -s "$work/crash-port" ] && break; sleep 0.1; done
  winsim trust "$work/crash-pki/ca.pem"
  crashtool proxy "127.0.0.1:$(head -1 "$work/crash-port")"
  crashtool inject "$point" "$way"
  echo "== crash at $point ($way): running the installer again"
  winsim run "C:\\Users\\user\\Downloads\\$name" && echo "the installer ended without crashing" \
    || echo "the installer ended with exit code $?"
  temp="$machine/drive_c/Users/Administrator/AppData/Local/Temp"
  echo "== the crash collector received"
  python3 tools/crash_collector.py show "$work/crash-requests.jsonl" || true
  echo "== dump summary"
  for dump in "$temp"/*.dmp; do echo "$(basename "$dump")"; crashtool summary "$dump" || true; done
  echo "== $temp/bvlInstaller.checkpoint"
  cat "$temp/bvlInstaller.checkpoint" 2>/dev/null || echo "(none: the report was not accepted)"
  kill "$collector" 2>/dev/null || true
fi
