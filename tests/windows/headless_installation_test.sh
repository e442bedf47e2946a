#!/usr/bin/env bash
# The whole headless installation by the Windows build under Wine, against
# the agent server and the update host served by nginx on loopback
# (tools/wine-installation.sh), and what it leaves: its rows and ending, the
# product values in the 64-bit registry view (and none in the 32-bit one),
# the uninstall entry, the agent service registered and running, the
# scheduled tasks, the installed files; then the refusal of the installer
# under a name without its token, and the system's trust in its signature.
#
#   headless_installation_test.sh <source-dir> <windows-build-dir> <make_pe of the Linux build> <verify_trust.exe>
#
# Exit code 77 (skipped) when make_pe, a tool of the Linux build that writes
# the update host's other components, is not built.
#
# The prefix is Windows 10, where the installer checks the driver's
# Authenticode signature with WinVerifyTrust. What Wine cannot show: the
# protection driver (Wine loads no kernel drivers; on this 64-bit prefix the
# installer, a 32-bit program under WOW64, skips the driver as on 64-bit
# Windows) and a refused signature (Wine's WinVerifyTrust accepts a chain to
# a root the machine does not trust). The simulated machine's tests remain
# the proof of both.
set -uo pipefail
source_dir=$1 build=$2 make_pe=$3 verify_trust=$4
if [ ! -x "$make_pe" ]; then
  echo "skipped: $make_pe is not built (cmake --build --preset default --target make_pe)"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine-install.XXXXXX")
cleanup() {
  bash "$source_dir/tools/wine-installation.sh" stop "$work" >/dev/null 2>&1 || true
  if [ -n "${BVL_KEEP_WORK:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
port=$(python3 -S -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

bash "$source_dir/tools/wine-installation.sh" run "$work" --build "$build" --make-pe "$make_pe" --port "$port" ||
  { echo "FAIL: the installation run did not complete"; exit 1; }

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
output=$(tr -d '\r' < "$work/installer-output.txt")
has_line() { grep -qxF -- "$1" <<<"$output" || fail "the installer's output lacks the line: $1"; }

export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
# reg <args>: the output of Wine's reg.exe, without carriage returns. It goes
# through a file: a Wine program that starts the prefix's server hands it its
# standard output, and a pipe would never end.
reg() {
  timeout 120 wine reg "$@" >"$work/reg-output" 2>/dev/null
  tr -d '\r' <"$work/reg-output"
}
# value <query output> <name>: the data of a value in a "reg query" listing.
value() { awk -v name="$2" '$1 == name { sub(/^[ ]*[^ ]+[ ]+[^ ]+[ ]+/, ""); print; exit }' <<<"$1"; }

# --- The run: start-up, every row in order, the ending.
[ "$(cat "$work/installer-exit-code")" = 0 ] || fail "the installer's exit code is $(cat "$work/installer-exit-code")"
has_line "server check result: 0"
has_line "start-up gate:       passed"
expected_rows="  row: RenameOldFile Success  [30%]"
percent=30
for name in BrimvaleAgent.exe bvlUninstaller.exe bvlchk.exe bvlcore.dll bvlcv.dll bvlmqtt.exe bvlres.dll bvlsvc.exe \
            bvludt.exe cef kvppob.sys libeay32.dll mosquitto.dll msvcr100.dll pthreadVC2.dll sqlite3.dll; do
  percent=$((percent + 2))
  expected_rows+=$'\n'"  row (replaces last): $name Download Success  [$percent%]"
done
for row in "proverinfo create Success  [68%]" "CreateAndMoveInstalledFile Success  [70%]" \
           "InstallDriver Success  [75%]" "InstallService Success  [80%]" "RegisterReservationJob Success  [85%]" \
           "DeleteOldFile Success  [90%]" "RegisterUninstallReg Success  [90%]" "Install Success  [100%]"; do
  expected_rows+=$'\n'"  row: $row"
done
rows=$(grep -E '^  row' <<<"$output")
# A 64-bit installer under Wine may fail to register the tasks (see the
# scheduled tasks below): either outcome of that row is taken.
if [ "${BVL_PROGRAM_ARCHITECTURE:-x86}" = x64 ]; then
  rows=$(sed 's/^  row: RegisterReservationJob Fail  /  row: RegisterReservationJob Success  /' <<<"$rows")
fi
if [ "$rows" != "$expected_rows" ]; then
  fail "the rows differ from a successful installation's:"
  diff <(echo "$expected_rows") <(echo "$rows")
fi
has_line "OK pressed: starting the agent service"
grep -q '^message box:' <<<"$output" && fail "the run showed a message box"

# --- The product values: in the 64-bit view only.
product=$(reg query 'HKLM\SOFTWARE\Korvanta\Brimvale' /reg:64)
[ "$(value "$product" Version)" = 3.2.1.0 ] || fail "Version in the 64-bit view is '$(value "$product" Version)'"
[ "$(value "$product" WebVersion)" = 1.4.2 ] || fail "WebVersion in the 64-bit view is '$(value "$product" WebVersion)'"
# ServiceInfo is the server address encrypted with SEED: base64 text of
# whole 16-byte blocks.
service_info=$(value "$product" ServiceInfo)
blocks=$(printf '%s' "$service_info" | base64 -d 2>/dev/null | wc -c)
[ -n "$service_info" ] && [ $((blocks % 16)) = 0 ] && [ "$blocks" -ge 16 ] ||
  fail "ServiceInfo in the 64-bit view is '$service_info'"
if timeout 120 wine reg query 'HKLM\SOFTWARE\Korvanta\Brimvale' /reg:32 >/dev/null 2>&1; then
  fail "the product key exists in the 32-bit view"
fi

# --- The uninstall entry, in the 64-bit view.
entry=$(reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}' /reg:64)
[ "$(value "$entry" UninstallString)" = '"C:\Program Files\brimvale\bvlUninstaller.exe" -u' ] ||
  fail "UninstallString is '$(value "$entry" UninstallString)'"
[ "$(value "$entry" DisplayIcon)" = 'C:\Program Files\brimvale\BrimvaleAgent.exe' ] ||
  fail "DisplayIcon is '$(value "$entry" DisplayIcon)'"
[ "$(value "$entry" Publisher)" = 'Korvanta., ltd.' ] || fail "Publisher is '$(value "$entry" Publisher)'"
# The product's Korean name: reg.exe of a Korean user writes it in code page
# 949 (in another user's code page it would be question marks).
LC_ALL=ko_KR.UTF-8 timeout 120 wine reg query \
  'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}' /v DisplayName /reg:64 \
  >"$work/display-name" 2>/dev/null
display_name=$(value "$(iconv -f CP949 -t UTF-8 "$work/display-name" | tr -d '\r')" DisplayName)
[ "$display_name" = "브림베일" ] || fail "the uninstall entry's DisplayName is '$display_name'"

# --- The agent service: registered by bvlsvc.exe /Service, started by OK.
service=$(reg query 'HKLM\System\CurrentControlSet\Services\bvlsvc')
[ "$(value "$service" ImagePath)" = '"C:\Program Files\Brimvale\bvlsvc.exe"' ] ||
  fail "the service's ImagePath is '$(value "$service" ImagePath)'"
[ "$(value "$service" Start)" = 0x2 ] || fail "the service does not start automatically (Start '$(value "$service" Start)')"
[ "$(value "$service" Type)" = 0x10 ] || fail "the service is not an own-process service (Type '$(value "$service" Type)')"
grep -qF '[Brimvale] bvlsvc : Service registered' "$work/debug-output.txt" || fail "bvlsvc.exe did not register the service"
grep -qF '[Brimvale] bvlsvc : Service running' "$work/debug-output.txt" || fail "the agent service did not run"
grep -qF '[Brimvale] bvlmqtt : MQTT client running' "$work/debug-output.txt" || fail "the service did not start bvlmqtt.exe"
grep -qF '[Brimvale] bvludt : ran' "$work/debug-output.txt" || fail "the updater did not run"

# --- The scheduled tasks, through the schtasks.exe stand-in (a 32-bit
# program's system folder is syswow64, a 64-bit one's system32).
# Under Wine a 64-bit installer often cannot open the listing that schtasks
# wrote: the file the child inherited is still held for a moment after the
# child has ended (sharing violation, "schtasks File Error ... (error 32)"),
# so the tasks are not registered. Windows closes a process's handles
# before its end is signalled; the 32-bit program, the schtasks stand-in's
# test and the simulated machine's tests show the registration.
system_folder=syswow64
[ "${BVL_PROGRAM_ARCHITECTURE:-x86}" = x64 ] && system_folder=system32
[ "${BVL_PROGRAM_ARCHITECTURE:-x86}" = x64 ] && echo "not checked under Wine for a 64-bit installer: the scheduled tasks"
[ "${BVL_PROGRAM_ARCHITECTURE:-x86}" = x64 ] ||
for task in bvlchk_onstart bvlchk_minute; do
  # (Windows names are case-insensitive: Wine's 64-bit system folder has "tasks".)
  [ -n "$(find "$WINEPREFIX/drive_c/windows/$system_folder" -maxdepth 2 -ipath "*/tasks/$task" -type f)" ] ||
    fail "no scheduled task $task"
done

# --- The installed files: the agent's programs are the served stand-ins.
installed="$WINEPREFIX/drive_c/Program Files/Brimvale"
for name in bvlsvc.exe BrimvaleAgent.exe bvlmqtt.exe bvludt.exe bvlchk.exe bvlUninstaller.exe; do
  cmp -s "$installed/$name" "$build/agent-programs/$name" || fail "$name is not the served program"
done
for name in bvlres.dll bvlcore.dll bvlcv.dll sqlite3.dll libeay32.dll mosquitto.dll msvcr100.dll pthreadVC2.dll \
            cef/libcef.dll cef/locales/ko.pak webview/index.html webview/assets/app.js zipproverinfo.dat; do
  [ -f "$installed/$name" ] || fail "$name is not installed"
done
[ -e "$installed/updatetemp" ] && fail "the staging folder is left behind"

# --- The installer under a name without its token refuses to start, with
# the string table's text (the program's own resources).
user=$(tr -d '\r\n' <"$work/user-name")
downloads="C:\\users\\$user\\Downloads"
cp "$build/app/bvlInstallerConsole.exe" "$WINEPREFIX/drive_c/users/$user/Downloads/bvlInstaller.exe"
timeout 300 wine "$downloads\\bvlInstaller.exe" >"$work/refusal-output.txt" 2>/dev/null
refusal=$(tr -d '\r' <"$work/refusal-output.txt")
grep -qxF "module path:         $downloads\\bvlInstaller.exe" <<<"$refusal" || fail "the refused run's module path: $refusal"
grep -qxF "start-up refused:    [브림베일] 설치 정보를 확인할 수 없습니다. 설치 페이지에서 다운로드되는 파일이름 그대로 다시 실행하여 주십시오. (string 316)" \
  <<<"$refusal" || fail "the installer without its token did not refuse as it should: $refusal"

# --- WinVerifyTrust accepts the signed installer (tests/windows/helpers/verify_trust.cpp).
timeout 120 wine "$verify_trust" "$downloads\\bvlInstaller.exe" >"$work/trust-verdict" 2>/dev/null ||
  fail "WinVerifyTrust does not trust the signed installer: $(tr -d '\r' <"$work/trust-verdict")"

if [ "$failures" -ne 0 ]; then
  echo "== the installer's output"
  cat "$work/installer-output.txt"
  echo "== its debug output"
  cat "$work/debug-output.txt"
  exit 1
fi
echo "the headless installation under Wine passed every check"
