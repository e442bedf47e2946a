#!/usr/bin/env bash
# A crash of the Windows program under Wine and its report
# (tools/wine-crash-report.sh): for an invalid access and the runtime's
# report of an invalid parameter at the application's start and a pure
# virtual call in InitInstance, the installer ends, leaves
# one minidump written by the system's dbghelp in the user's temporary
# folder, and uploads it through the user's proxy to the crash collector,
# byte for byte. The project's dump reader (crashtool of the Linux build)
# and lldb read the dump: an x86 dump with the crash's exception on the
# crashed thread, Breakpad's stream naming the reporter's thread and the
# crashed one, and the assertion stream of the pure virtual call.
#
#   crash_report_test.sh <source-dir> <bvlInstaller.exe> <crashtool of the Linux build> <planted_library.dll>
#
# BVL_PROGRAM_ARCHITECTURE (x86, the default, or x64) is the program's
# processor. Exit code 77 (skipped) when crashtool is not built. What Wine shows
# differently: its dbghelp gives the exception's registers to the thread
# that writes the dump instead of the crashed thread in the thread list (the
# exception stream is right); the simulated machine's crash tests check the
# thread list.
set -uo pipefail
source_dir=$1 installer=$2 crashtool=$3 planted=$4
if [ ! -x "$crashtool" ]; then
  echo "skipped: $crashtool is not built (cmake --build --preset default --target crashtool)"
  exit 77
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
# The dump's processor as crashtool names it, lldb's name for it and the
# width of its addresses in lldb's thread list.
case ${BVL_PROGRAM_ARCHITECTURE:-x86} in
  x86) dump_processor=x86 debugger_processor=i386 address_digits=8 ;;
  x64) dump_processor=AMD64 debugger_processor=x86_64 address_digits=16 ;;
  *) echo "unknown BVL_PROGRAM_ARCHITECTURE $BVL_PROGRAM_ARCHITECTURE" >&2; exit 2 ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine-crash.XXXXXX")
own_prefix=""
cleanup() {
  [ -n "$own_prefix" ] && bash "$source_dir/tools/wine-prefix.sh" remove "$own_prefix"
  if [ -n "${BVL_KEEP_WORK:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
source "$source_dir/tests/windows/run_prefix.sh"
use_run_prefix "$work" || exit 1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The installer under its token's name; the agent server's port is closed
# (neither crash gets as far as asking it).
closed=$(python3 -S -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
name="bvlInstaller[$(printf 'http://127.0.0.1:%s' "$closed" | base64 -w0)].exe"
cp "$installer" "$WINEPREFIX/drive_c/$name"

# What the collector saw of a run, and what the run left, for a report that
# did not arrive.
report_details() {
  echo "  requests the collector logged:"
  python3 -S -c 'import json, sys
for line in open(sys.argv[1]):
    entry = json.loads(line)
    print("   ", entry["method"], entry["target"], entry.get("tunnel"), len(entry["body"]), "bytes (base64)")' \
    "$1/requests.jsonl"
  echo "  checkpoint: $(tr '\n' ' ' < "$1/checkpoint" 2>/dev/null)"
  echo "  installer output: $(tr '\r\n' '  ' < "$1/installer-output.txt" 2>/dev/null)"
}

# crash <point> <way> <exception code> <exit code as the shell sees it>
#       [<folder of drive C: that holds the installer>]
crash() {
  local point=$1 way=$2 code=$3 exit_code=$4 folder=${5:-} run="$work/$1-$2${5:+-$5}" path="C:\\$name"
  [ -n "$folder" ] && path="C:\\$folder\\$name"
  echo "== $point, $way${folder:+, from C:\\$folder}"
  bash "$source_dir/tools/wine-crash-report.sh" "$run" "$path" "$point" "$way" ||
    { fail "$point/$way: the crash run did not complete"; return; }
  [ "$(cat "$run/exit-code")" = "$exit_code" ] || fail "$point/$way: exit code $(cat "$run/exit-code"), not $exit_code"
  local dumps=("$run"/dumps/*.dmp)
  if [ ! -f "${dumps[0]}" ] || [ ${#dumps[@]} -ne 1 ]; then
    fail "$point/$way: not one new dump in the temporary folder (${#dumps[@]})"
    return
  fi
  local dump=${dumps[0]}
  [[ $(basename "$dump") =~ ^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\.dmp$ ]] ||
    fail "$point/$way: the dump's name is no random UUID: $(basename "$dump")"

  # The report: one POST through the proxy's tunnel to the collector's host,
  # the dump's bytes as its file part.
  python3 -S - "$source_dir/tools/crash_collector.py" "$run/requests.jsonl" "$dump" <<'PYTHON' ||
import base64, json, subprocess, sys
collector, log, dump = sys.argv[1:4]
posts = [json.loads(line) for line in open(log) if json.loads(line)["method"] == "POST"]
if len(posts) != 1:
    sys.exit("%d reports, not 1" % len(posts))
parsed = json.loads(subprocess.run([sys.executable, collector, "parts", log], check=True, capture_output=True).stdout)
if parsed["tunnel"] != "crash.brimvale.example:443":
    sys.exit("the report did not go through the proxy to the collector's host: %r" % parsed["tunnel"])
files = [p for p in parsed["parts"] if p["name"] == "upload_file_minidump"]
if len(files) != 1 or base64.b64decode(files[0]["content"]) != open(dump, "rb").read():
    sys.exit("the report's file part is not the dump")
PYTHON
    { fail "$point/$way: the report"; report_details "$run"; }

  # The project's reader.
  local summary
  summary=$("$crashtool" summary "$dump") || { fail "$point/$way: crashtool cannot read the dump"; return; }
  grep -q "^system: .*, $dump_processor, " <<<"$summary" || fail "$point/$way: not an $dump_processor dump"
  local line thread address
  line=$(grep "^exception: code $code " <<<"$summary") || { fail "$point/$way: no exception $code"; return; }
  thread=$(sed -n 's/.* on thread \([0-9]*\).*/\1/p' <<<"$line")
  address=$(sed -n 's/.* at \(0x[0-9a-f]*\) on thread.*/\1/p' <<<"$line")
  grep -qE "^written by thread [0-9]+ for thread $thread\$" <<<"$summary" ||
    fail "$point/$way: Breakpad's stream does not name the crashed thread $thread"
  grep -q "^written by thread $thread " <<<"$summary" && fail "$point/$way: the crashed thread wrote its own dump"
  grep -qE "^  thread $thread " <<<"$summary" || fail "$point/$way: the crashed thread is not in the thread list"
  if [ "$way" = purecall ]; then
    grep -q "^assertion: type 2 " <<<"$summary" || fail "$point/$way: no pure virtual call assertion"
  fi
  if [ "$way" = parameter ]; then
    grep -q "^assertion: type 1 " <<<"$summary" || fail "$point/$way: no invalid parameter assertion"
  fi

  # lldb.
  local output tid
  output=$(timeout 120 lldb --batch --no-lldbinit -c "$dump" -o 'thread list' 2>&1)
  grep -qF "($debugger_processor) was loaded" <<<"$output" || fail "$point/$way: lldb does not load the dump: $output"
  tid=$(printf 'tid = 0x%04x, %s ' "$thread" "$(printf "0x%0${address_digits}x" "$address")")
  grep -F "$tid" <<<"$output" | grep -qF "stop reason = Exception $code" ||
    fail "$point/$way: lldb does not stop thread $thread at $address with $code: $output"
}

crash ApplicationStart access 0xc0000005 5
# A reported pure virtual call or invalid parameter ends the program as
# abort() does (exit code 3).
crash InitInstance purecall 0xc0000025 3
crash ApplicationStart parameter 0xc000000d 3

# Libraries placed beside the installer under the names of the system
# libraries it uses (a Downloads folder may hold any file): the installer
# never loads them, yet writes and sends its dump. Wine prefers its own
# system libraries whatever lies beside a program, so this run asks it to
# look beside the program first for the two libraries of the crash's path,
# as Windows does for every library that it does not always take from its
# own folder (asked for wintrust and crypt32 too, Wine's own TLS stops
# working). A program that imported them would load the planted files and
# not even start, for they export nothing.
mkdir -p "$WINEPREFIX/drive_c/planted"
cp "$installer" "$WINEPREFIX/drive_c/planted/$name"
for library in winhttp wintrust crypt32 dbghelp; do cp "$planted" "$WINEPREFIX/drive_c/planted/$library.dll"; done
WINEDLLOVERRIDES="mscoree,mshtml=;winhttp,dbghelp=n,b" crash ApplicationStart access 0xc0000005 5 planted
[ ! -e "$WINEPREFIX/drive_c/planted/planted-library-loaded.txt" ] ||
  fail "the installer loaded a library planted beside it"
rm -rf "$WINEPREFIX/drive_c/planted"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "the crash reports under Wine are as expected"
