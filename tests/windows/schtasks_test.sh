#!/usr/bin/env bash
# The schtasks.exe stand-in built for Windows, under Wine in the test run's
# prefix: the task files it keeps in the system folder's Tasks (syswow64 for
# a 32-bit program, BVL_PROGRAM_ARCHITECTURE x86), its texts byte for byte with lines ended by CR LF,
# its exit codes, the accounts it accepts, the listing and deletion, and the
# listing as the installer runs it, whose output file is free the moment the
# program has ended.
#
#   schtasks_test.sh <source-dir> <schtasks.exe> <task_listing.exe>
set -uo pipefail
source_dir=$1 schtasks=$2 task_listing=$3
prefix=$(cat "$BVL_WINE_PREFIX_FILE")
system_folder=syswow64
[ "${BVL_PROGRAM_ARCHITECTURE:-x86}" = x64 ] && system_folder=system32
# Windows names are case-insensitive: Wine's 64-bit system folder has "tasks".
tasks=$(find "$prefix/drive_c/windows/$system_folder" -maxdepth 1 -iname tasks -print -quit)
[ -n "$tasks" ] || tasks=$prefix/drive_c/windows/$system_folder/Tasks
task=bvltest_onstart

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# run <args>: the stand-in's standard output as hexadecimal bytes in $out,
# its exit code in $code.
run() {
  out=$(bash "$source_dir/tools/wine-run.sh" "$schtasks" "$@" 2>/dev/null | od -An -v -tx1 | tr -d ' \n')
  code=${PIPESTATUS[0]}
}
hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }
# The Windows path of a host file (Wine's Z: drive).
winepath_of() { printf 'Z:%s' "$(readlink -f "$1" | tr / '\\')"; }
rm -f "$tasks/$task"

run /create /tn "$task" /tr '"C:\Program Files\brimvale\bvlchk.exe"' /sc onstart /ru System
[ "$code" = 0 ] || fail "creation ended with $code"
[ "$out" = "$(hex $'SUCCESS: The scheduled task "bvltest_onstart" has successfully been created.\r\n')" ] ||
  fail "creation wrote the bytes $out"
if [ -f "$tasks/$task" ]; then
  [ "$(head -c 2 "$tasks/$task" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "the task file has no UTF-16 byte-order mark"
  xml=$(iconv -f UTF-16 -t UTF-8 "$tasks/$task")
  grep -qF '<Command>"C:\Program Files\brimvale\bvlchk.exe"</Command>' <<<"$xml" || fail "the task file's command: $xml"
  grep -qF '<UserId>S-1-5-18</UserId>' <<<"$xml" || fail "the task does not run as the system account: $xml"
  grep -qF '<BootTrigger>' <<<"$xml" || fail "the task does not run at system start: $xml"
else
  fail "no task file $tasks/$task"
fi

run /create /tn "$task" /tr x /sc onstart /ru System
[ "$code" = 1 ] || fail "a second creation without /f ended with $code"
[ "$out" = "$(hex $'ERROR: Cannot create a file when that file already exists.\r\n')" ] ||
  fail "a second creation wrote the bytes $out"

run /create /tn bvltest_other /tr x /sc onstart /ru nobody
[ "$code" = 1 ] || fail "an unknown account was accepted (exit code $code)"
[ -e "$tasks/bvltest_other" ] && fail "a task of an unknown account was written"

run
[ "$code" = 0 ] || fail "the listing ended with $code"
listing=$(printf '%s' "$out" | xxd -r -p)
grep -q $'^bvltest_onstart  *N/A  *Ready  *\r$' <<<"$listing" || fail "the listing lacks the task: $listing"
case "$out" in *0d0d0a*) fail "the listing ends lines with CR CR LF" ;; esac

# Ten listings as the installer runs them (tests/windows/helpers/task_listing.cpp):
# the list file opens each time.
listings=$(bash "$source_dir/tools/wine-run.sh" "$task_listing" "$(winepath_of "$schtasks")" 'C:\bvltest_list.txt' 10 2>/dev/null)
[ $? = 0 ] || fail "the list file was still in use after schtasks.exe ended: $listings"
rm -f "$prefix/drive_c/bvltest_list.txt"

run /delete /tn "$task" /f
[ "$code" = 0 ] || fail "deletion ended with $code"
[ -e "$tasks/$task" ] && fail "the task file is left after its deletion"
run /delete /tn "$task" /f
[ "$code" = 1 ] || fail "deleting a missing task ended with $code"

[ "$failures" = 0 ] || exit 1
echo "the schtasks stand-in passed every check"
