#!/usr/bin/env bash
# The main job: a fresh simulated Windows 10 machine, the agent server and the
# update host on loopback (nginx), the installer run under the name the
# installation page gives it, and the machine's state afterwards.
#   tools/demo.sh [--profile NAME] [--port N] [--keep] [--interactive] [--headless] [--crash POINT[:WAY]]
#   tools/demo.sh --windows [--headless] [--profile NAME] [--port N] [--keep] [--crash POINT[:WAY]]
# The wizard runs on the display, or on a virtual one (Xvfb, of the profile's
# screen size) when there is none, and is driven with xdotool as a person
# would: Agree, then OK; a picture of each page (and of one refusal) is saved
# in the work folder's pictures/.
# --interactive leaves the clicking to a person on the current display;
# --headless runs the installer without a display (start-up report, rows and
# ending on standard output). --keep keeps the work folder with the pictures.
# --crash makes the installer crash once more at a crash point (see README).
# --windows runs the Windows build instead, under Wine in a fresh prefix
# inside the work folder (tools/wine-installation.sh) of the profile's
# Windows version and architecture (win10-x64, win7-x86, ...): the native
# wizard on a virtual display, driven and photographed as above (with
# --headless the console front end instead), then the registry in both
# views, the agent service, the scheduled tasks, the installed files, the
# shortcuts and the debug output. With --crash the installer then runs once more and crashes at
# POINT (ApplicationStart or InitInstance: the agent is installed by then),
# and its report goes through the prefix's proxy to a loopback collector
# (tools/wine-crash-report.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

profile=win10-x64
port=18480
keep=0
crash=
display_mode=virtual
windows=0
while [ $# -gt 0 ]; do
  case "$1" in
    --profile) profile=$2; shift 2 ;;
    --port) port=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --crash) crash=$2; shift 2 ;;
    --interactive) display_mode=interactive; shift ;;
    --headless) display_mode=headless; shift ;;
    --windows) windows=1; shift ;;
    *) echo "usage: $0 [--profile NAME] [--port N] [--keep] [--interactive] [--headless] [--crash POINT[:WAY]] | --windows [--headless] [--profile NAME] [--port N] [--keep] [--crash POINT[:WAY]]" >&2; exit 2 ;;
  esac
done

# The Windows build under Wine.
windows_demo() {
  case "${crash%%:*}" in
    ""|ApplicationStart|InitInstance) ;;
    *) echo "demo: with --windows, --crash takes ApplicationStart or InitInstance (the agent is installed by then)" >&2
       exit 2 ;;
  esac
  # The profile's name gives the prefix's Windows version and architecture.
  local version arch
  case "${profile%-*}" in win7|win8|win81|win10) version=${profile%-*} ;; *) version="" ;; esac
  case "${profile##*-}" in x64) arch=win64 ;; x86) arch=win32 ;; *) arch="" ;; esac
  [ -n "$version" ] && [ -n "$arch" ] || { echo "demo: no Wine prefix for the profile $profile" >&2; exit 2; }
  tools/install-deps.sh
  . tools/wine-loader.sh
  bvl_choose_wine_loader
  # The 32-bit program is the one users run; a machine that cannot run
  # 32-bit programs shows the 64-bit build of the same installer.
  local preset=windows
  if [ "$BVL_WINE_RUNS_32BIT" = 0 ]; then
    preset=windows64
    [ "$arch" = win64 ] || { echo "demo: this machine cannot run the 32-bit Windows of $profile" >&2; exit 2; }
    echo "== this machine cannot run 32-bit programs: the 64-bit build of the installer runs"
  fi
  # make_pe (a tool of the Linux build) writes the update host's other
  # components; bvl_print_layout gives the wizard's driver the layout table.
  cmake --preset default >/dev/null
  cmake --build --preset default -j "${BVL_JOBS:-2}" --target make_pe crashtool bvl_print_layout >/dev/null
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "${BVL_JOBS:-2}" \
    --target bvlInstaller bvlInstallerConsole bvl_agent_programs schtasks window_probe >/dev/null

  work=$(mktemp -d /tmp/bvl-demo.XXXXXX)
  display_started=0
  cleanup() {
    tools/wine-installation.sh stop "$work" || true
    [ "$display_started" = 0 ] || display_stop
    if [ "$keep" = 0 ]; then rm -rf "$work"; else echo "kept: $work"; fi
  }
  trap cleanup EXIT
  local run_options=(--build "$root/build/$preset" --make-pe "$root/build/default/tools/make_pe"
    --port "$port" --windows-version "$version" --arch "$arch")
  if [ "$display_mode" = headless ]; then
    tools/wine-installation.sh run "$work" "${run_options[@]}" || echo "== the installation run did not complete (see above)"
  else
    # The wizard on a virtual 1920 x 1080 display, driven as a person would.
    . tools/display-helpers.sh
    display_start 1920x1080x24
    display_started=1
    tools/wine-installation.sh run "$work" "${run_options[@]}" --display "$DISPLAY"
    local pictures=$work/pictures installer
    installer=$(cat "$work/installer-path")
    echo "== running $installer on a virtual 1920x1080 display ($DISPLAY)"
    WINEDEBUG=-all,warn+seh BVL_WINE_LOG="$work/wine-log.txt" WINEPREFIX="$work/wine-prefix" \
      tools/drive-wine-wizard.sh --layout "$root/build/default/app/bvl_print_layout" "$work/wine-prefix" "$DISPLAY" \
      "$installer" "$pictures" || echo "== the wizard did not reach its end (see above)"
    tools/wine-installation.sh debug-lines "$work"
    # One refusal: the installer under a name without its token.
    local downloads=${installer%\\*}
    cp "$root/build/$preset/app/bvlInstaller.exe" \
      "$work/wine-prefix/drive_c/$(printf '%s' "${downloads#C:\\}" | tr '\\' /)/bvlInstaller.exe"
    tools/drive-wine-wizard.sh --refusal "$work/wine-prefix" "$DISPLAY" "$downloads\\bvlInstaller.exe" "$pictures" ||
      echo "== the refusal did not show (see above)"
    echo "== pictures of the pages in $pictures"
    ls "$pictures"
    echo "== shortcuts (read by lnkinfo)"
    local link
    while IFS= read -r -d '' link; do
      echo "${link#"$work/wine-prefix/drive_c/"}:"
      lnkinfo "$link" </dev/null 2>/dev/null | grep -E 'Local path|Description|Command line arguments' || true
    done < <(find "$work/wine-prefix/drive_c" -name '브림베일.lnk' -print0 2>/dev/null)
  fi

  export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
  # Through a file: a pipe would stay open in the prefix's server.
  wine_cmd() {
    timeout 60 wine "$@" >"$work/wine-output" 2>/dev/null || true
    tr -d '\r' <"$work/wine-output"
  }
  for view in 64 32; do
    echo "== registry: the product key, $view-bit view"
    wine_cmd reg query 'HKLM\SOFTWARE\Korvanta\Brimvale' /s /reg:$view
  done
  echo "== registry: the installing user's product key"
  wine_cmd reg query 'HKCU\Software\Korvanta' /s
  echo "== the uninstall entry (64-bit view; read as a Korean user, so that its name shows)"
  LC_ALL=ko_KR.UTF-8 timeout 60 wine reg query \
    'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}' /reg:64 \
    >"$work/wine-output" 2>/dev/null || true
  iconv -f CP949 -t UTF-8 "$work/wine-output" | tr -d '\r' || true
  echo "== the agent service"
  wine_cmd reg query 'HKLM\System\CurrentControlSet\Services\bvlsvc'
  wine_cmd sc query bvlsvc
  echo "== the protection driver's service (32-bit Windows only)"
  wine_cmd reg query 'HKLM\System\CurrentControlSet\Services\kvppob'
  echo "== scheduled tasks (the schtasks.exe stand-in's task files)"
  local system=$WINEPREFIX/drive_c/windows/system32 tasks
  [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && system=$WINEPREFIX/drive_c/windows/syswow64
  tasks=$(find "$system" -maxdepth 1 -iname tasks -print -quit)  # Wine's system32 has "tasks"
  ls "$tasks" 2>/dev/null || echo "(none)"
  echo "== files below C:\Program Files\Brimvale and the drivers folder"
  (cd "$WINEPREFIX/drive_c/Program Files" && find Brimvale -type f | sort) 2>/dev/null || echo "(no Brimvale folder)"
  local drivers=$WINEPREFIX/drive_c/windows/system32/drivers
  [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && drivers=$WINEPREFIX/drive_c/windows/syswow64/drivers
  ls "$drivers" | grep -i -E 'kvppob|bvl' || echo "(no driver file)"
  echo "== debug output (Brimvale lines)"
  grep -a 'Brimvale\]' "$work/debug-output.txt" || echo "(none)"
  [ -z "$crash" ] || windows_crash
}

# --crash with --windows: the installer of the run crashes once more, and
# the collector shows what it received and crashtool what the dump holds.
windows_crash() {
  local point=${crash%%:*} way=${crash#*:}
  [ "$way" = "$crash" ] && way=access
  echo "== crash at $point ($way): running the installer again"
  tools/wine-crash-report.sh "$work/crash" "$(cat "$work/installer-path")" "$point" "$way" || return 0
  echo "the installer ended with exit code $(cat "$work/crash/exit-code") (as the shell shows it)"
  echo "== the crash collector received"
  python3 tools/crash_collector.py show "$work/crash/requests.jsonl" || true
  echo "== dump summary"
  local dump
  for dump in "$work"/crash/dumps/*.dmp; do
    [ -f "$dump" ] || { echo "(no dump)"; continue; }
    basename "$dump"
    "$root/build/default/tools/crashtool" summary "$dump" || true
  done
  echo "== the reporter's checkpoint"
  cat "$work/crash/checkpoint" 2>/dev/null || echo "(none: the report was not accepted)"
}

if [ "$windows" = 1 ]; then
  windows_demo
  exit 0
fi

tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${BVL_JOBS:-2}" --target bvlInstaller bvl_print_layout winsim make_pe crashtool bvl_builtin_programs >/dev/null

build=$root/build/default
work=$(mktemp -d /tmp/bvl-demo.XXXXXX)
content=$work/servers
machine=$work/machine
xvfb_pid=""
cleanup() {
  # The agent's programs keep running on the machine until it is shut down.
  [ -d "$machine" ] && "$build/tools/winsim" --machine "$machine" shutdown >/dev/null 2>&1 || true
  tools/nginx-fixture.sh stop "$content" || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
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
case "$display_mode" in
  headless)
    echo "== running C:\\Users\\user\\Downloads\\$name (no display)"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/tools/winsim" --machine "$machine" run "C:\\Users\\user\\Downloads\\$name"
    ;;
  interactive)
    [ -n "${DISPLAY:-}" ] || { echo "demo: --interactive needs a display (DISPLAY)" >&2; exit 2; }
    echo "== running C:\\Users\\user\\Downloads\\$name on $DISPLAY: the wizard is yours to click"
    winsim run "C:\\Users\\user\\Downloads\\$name"
    ;;
  virtual)
    pictures=$work/pictures
    mkdir -p "$pictures"
    read -r screen_w screen_h < <(python3 -c 'import json,sys; p=json.load(open(sys.argv[1])); print(p["screenWidth"], p["screenHeight"])' "$machine/profile.json")
    if [ -z "${DISPLAY:-}" ]; then
      display_number=$(( 90 + RANDOM % 400 ))
      Xvfb ":$display_number" -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      export DISPLAY=":$display_number"
      for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
      where="a virtual ${screen_w}x${screen_h} display"
    else
      where="$DISPLAY"
    fi
    unset WAYLAND_DISPLAY QT_QPA_PLATFORM
    echo "== running C:\\Users\\user\\Downloads\\$name on $where"
    tools/drive-wizard.sh --layout "$build/app/bvl_print_layout" "$build/tools/winsim" "$machine" \
      "C:\\Users\\user\\Downloads\\$name" "$pictures" ||
      echo "== the wizard did not reach its end (see above)"
    # One refusal: the installer under a name without its token.
    cp "$build/app/bvlInstaller" "$downloads/bvlInstaller.exe"
    tools/drive-wizard.sh --refusal "$build/tools/winsim" "$machine" "C:\\Users\\user\\Downloads\\bvlInstaller.exe" "$pictures" ||
      echo "== the refusal did not show (see above)"
    echo "== pictures of the pages in $pictures"
    ls "$pictures"
    ;;
esac

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

# --crash: the installer run again, crashing at POINT (ApplicationStart,
# InitInstance or InstallWorker) in WAY (access, exception, abort, purecall, parameter,
# overflow); its report goes through the machine's proxy to a loopback
# collector that holds a test CA's certificate for the collector's host. The
# run has no display: nobody is there to answer a message box. For a crash in
# the install worker the agent is uninstalled first, or the start-up check
# would refuse the run as already installed before any worker starts.
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
  if [ "$point" = InstallWorker ]; then
    echo "== uninstalling the agent so that the installer gets to its worker"
    winsim run "C:\\Program Files\\Brimvale\\bvlUninstaller.exe" -u || echo "the uninstaller ended with exit code $?"
  fi
  crashtool inject "$point" "$way"
  echo "== crash at $point ($way): running the installer again (no display)"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 120 \
    "$build/tools/winsim" --machine "$machine" run "C:\\Users\\user\\Downloads\\$name" &&
    echo "the installer ended without crashing" || echo "the installer ended with exit code $?"
  temp="$machine/drive_c/Users/Administrator/AppData/Local/Temp"
  echo "== the crash collector received"
  python3 tools/crash_collector.py show "$work/crash-requests.jsonl" || true
  echo "== dump summary"
  for dump in "$temp"/*.dmp; do echo "$(basename "$dump")"; crashtool summary "$dump" || true; done
  echo "== $temp/bvlInstaller.checkpoint"
  cat "$temp/bvlInstaller.checkpoint" 2>/dev/null || echo "(none: the report was not accepted)"
  kill "$collector" 2>/dev/null || true
fi
