#!/usr/bin/env bash
# One headless installation by the Windows build under Wine, the way a user
# runs it: the agent server and the update host on loopback (nginx), a fresh
# 64-bit Wine prefix, the installer under the name the installation page
# gives it, run from the user's Downloads folder. Used by tools/demo.sh
# --windows and by the Windows end-to-end test.
#
#   wine-installation.sh run <work> --build DIR --make-pe PATH [--port N] [--windows-version win10|win81|win7]
#                                [--arch win64|win32] [--locale NAME] [--display D]
#   wine-installation.sh stop <work>
#
# run   makes <work>/servers (update host with the agent's stand-ins built for
#       Windows in DIR/agent-programs, served by nginx on 127.0.0.1:N) and the
#       prefix <work>/wine-prefix of that Windows version (default win10,
#       where the installer checks the driver's Authenticode signature with
#       WinVerifyTrust) and architecture (default win64: the installer runs
#       under WOW64; win32 is 32-bit Windows, where it installs the
#       protection driver) and user locale (default ko_KR.UTF-8, as the
#       simulated machine's: code page 949), places the schtasks.exe stand-in in it
#       (Wine's own cannot create tasks), runs DIR/app/bvlInstallerConsole.exe
#       (the console front end) as
#       C:\users\<user>\Downloads\bvlInstaller[<token>].exe and waits for it.
#       Its standard output is <work>/installer-output.txt, its exit code
#       <work>/installer-exit-code, and the debug output of every program of
#       the run (the installer, the agent's service and programs) the lines
#       of <work>/debug-output.txt. The servers and the prefix's programs
#       (the agent service) keep running until "stop".
#       With --display D the prefix is a desktop prefix on the X display D
#       (tools/wine-prefix.sh desktop: Korean fonts, Wine's X11 driver) and
#       the wizard, bvlInstaller.exe, is put in place but not run: its
#       driver (tools/drive-wine-wizard.sh) starts it.
# stop  ends the prefix's programs and nginx.
#
# The prefix gets Wine's null graphics driver: windows exist (the agent's
# window, which the installer finds and closes) without a display.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"

usage() {
  echo "usage: $0 run <work> --build DIR --make-pe PATH [--port N] [--windows-version V] [--arch A] [--locale L] [--display D] | stop <work>" >&2
  exit 2
}

stop() {
  local work=$1
  if [ -d "$work/wine-prefix" ]; then
    WINEPREFIX="$work/wine-prefix" timeout 60 wineserver -k 2>/dev/null || true
    WINEPREFIX="$work/wine-prefix" timeout 60 wineserver -w 2>/dev/null || true
  fi
  bash "$source_dir/tools/nginx-fixture.sh" stop "$work/servers" || true
}

# The user locale of the run's Wine programs (the shell keeps its own).
locale=ko_KR.UTF-8

# wine_quiet <args>: a Wine command in the run's prefix, without Wine's own
# messages.
wine_quiet() {
  env LC_ALL="$locale" WINEDEBUG=-all timeout 120 wine "$@"
}

run() {
  local work=$1 build="" make_pe="" port=18490 version=win10 arch=win64 display=""
  shift
  while [ $# -gt 0 ]; do
    case "$1" in
      --build) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
      --make-pe) [ $# -ge 2 ] || usage; make_pe=$2; shift 2 ;;
      --port) [ $# -ge 2 ] || usage; port=$2; shift 2 ;;
      --windows-version) [ $# -ge 2 ] || usage; version=$2; shift 2 ;;
      --arch) [ $# -ge 2 ] || usage; arch=$2; shift 2 ;;
      --locale) [ $# -ge 2 ] || usage; locale=$2; shift 2 ;;
      --display) [ $# -ge 2 ] || usage; display=$2; shift 2 ;;
      *) usage ;;
    esac
  done
  [ -n "$build" ] && [ -n "$make_pe" ] || usage
  # With a display the wizard runs, started by its driver.
  local installer_name=bvlInstallerConsole.exe
  [ -z "$display" ] || installer_name=bvlInstaller.exe
  local installer=$build/app/$installer_name schtasks=$build/agent-programs/system/schtasks.exe
  for file in "$installer" "$schtasks" "$build/agent-programs/bvlsvc.exe"; do
    [ -f "$file" ] || { echo "wine-installation: $file is not built (cmake --build --preset windows)" >&2; exit 1; }
  done
  mkdir -p "$work"
  work=$(cd "$work" && pwd)

  echo "== servers on 127.0.0.1:$port (agent server and update host with the Windows stand-ins)"
  bash "$source_dir/tools/make-update-host.sh" "$work/servers" --port "$port" --pki "$work/pki" \
    --make-pe "$make_pe" --windows "$build/agent-programs" >/dev/null
  bash "$source_dir/tools/nginx-fixture.sh" start "$work/servers" "$port"

  case "$arch" in win64|win32) ;; *) usage ;; esac
  echo "== fresh Wine prefix ($version, $arch, $locale) in $work/wine-prefix"
  export WINEPREFIX=$work/wine-prefix WINEARCH=$arch
  env LC_ALL="$locale" WINEDEBUG=-all timeout 180 wineboot -i >/dev/null 2>&1
  wine_quiet winecfg /v "$version" >/dev/null
  bash "$source_dir/tools/wine-prefix.sh" own-folders "$WINEPREFIX"
  if [ -n "$display" ]; then
    bash "$source_dir/tools/wine-prefix.sh" desktop "$WINEPREFIX" "$display"
  else
    wine_quiet reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  fi
  # Through a file: a pipe would stay open in the prefix's server.
  local user
  wine_quiet cmd /c 'echo %USERNAME%' >"$work/user-name"
  user=$(tr -d '\r\n' <"$work/user-name")
  # The run starts the prefix's programs afresh (the service manager among
  # them), so that they log with the run's settings.
  timeout 60 wineserver -w
  local windows=$WINEPREFIX/drive_c/windows
  # The installer is a 32-bit program: on 64-bit Windows its system folder is
  # syswow64, whose drivers folder (where the installer places the driver)
  # 64-bit Windows has and Wine's prefix lacks.
  cp "$schtasks" "$windows/system32/schtasks.exe"
  if [ -d "$windows/syswow64" ]; then
    cp "$schtasks" "$windows/syswow64/schtasks.exe"
    mkdir -p "$windows/syswow64/drivers"
  fi

  local token name downloads
  token=$(printf '%s' "http://127.0.0.1:$port" | base64 -w0)
  name="bvlInstaller[$token].exe"
  downloads=$WINEPREFIX/drive_c/users/$user/Downloads
  mkdir -p "$downloads"
  cp "$installer" "$downloads/$name"
  echo "C:\\users\\$user\\Downloads\\$name" > "$work/installer-path"
  echo "$locale" > "$work/locale"
  if [ -n "$display" ]; then
    echo "== the wizard is ready to run: C:\\users\\$user\\Downloads\\$name"
    return 0
  fi

  echo "== running C:\\users\\$user\\Downloads\\$name under Wine (console front end)"
  # Debug output reaches Wine's log as warnings of the exception channel;
  # the programs the run starts (the agent service among them) log there too.
  local code=0
  env LC_ALL="$locale" WINEDEBUG=-all,warn+seh timeout "${BVL_WINE_TIMEOUT:-600}" wine "C:\\users\\$user\\Downloads\\$name" \
    >"$work/installer-output.txt" 2>"$work/wine-log.txt" || code=$?
  echo "$code" > "$work/installer-exit-code"
  # The agent's programs started by the run go on logging.
  sleep 2
  echo "$locale" > "$work/locale"
  debug_lines "$work"
  cat "$work/installer-output.txt"
  echo "== the installer ended with exit code $code"
}

# The debug lines of the run, one a line in UTF-8, from Wine's log: the text
# Wine shows with C escapes, in the ANSI code page of the run's locale.
debug_lines() {
  local work=$1 codepage=cp1252
  case "$(cat "$work/locale" 2>/dev/null)" in ko_KR*) codepage=cp949 ;; esac
  python3 -S - "$work/wine-log.txt" "$work/debug-output.txt" "$codepage" <<'PYTHON'
import re
import sys

escapes = {b"n": b"\n", b"r": b"\r", b"t": b"\t"}
lines = []
with open(sys.argv[1], "rb") as log:
    for line in log:
        found = re.match(rb'^[0-9a-f]+:warn:seh:OutputDebugStringA "(.*)"\n?$', line)
        if not found:
            continue
        text = re.sub(rb"\\(x[0-9a-fA-F]{2}|.)",
                      lambda e: bytes([int(e.group(1)[1:], 16)]) if e.group(1)[:1] == b"x" and len(e.group(1)) == 3
                      else escapes.get(e.group(1), e.group(1)), found.group(1))
        lines.append(text.rstrip(b"\r\n").decode(sys.argv[3], errors="replace"))
with open(sys.argv[2], "w", encoding="utf-8") as out:
    out.write("".join(line + "\n" for line in lines))
PYTHON
}

case "${1:-}" in
  run) [ $# -ge 2 ] || usage; shift; run "$@" ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  debug-lines) [ $# -eq 2 ] || usage; debug_lines "$2" ;;
  *) usage ;;
esac
