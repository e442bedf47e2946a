// The schtasks stand-in run as the installer runs it (through ShellExecuteExW
// and CreateProcessW), its listing in the machine's language and ANSI code
// page, its errors and exit codes, and the task files it keeps.
#include <gtest/gtest.h>


#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

const std::wstring kChecker = L"C:\\Program Files\\brimvale\\bvlchk.exe";

// The creation parameters as the installer joins them: the task name quoted,
// the action an escaped quote, the quoted checker path and an escaped quote.
std::wstring CreationParameters(const std::wstring& task, const std::wstring& schedule) {
  return L"/create /tn \"" + task + L"\" /tr \\\"\"" + kChecker + L"\"\\\" /sc " + schedule + L" /ru System";
}

platform::Profile English() {
  platform::Profile profile = *platform::FindProfile("win10-x64");
  profile.locale = "en";
  profile.ansiCodePage = 1252;
  return profile;
}

struct ToolRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string bytes;  // standard output as written, in the ANSI code page
  std::wstring text;  // the same, decoded
};

class SchtasksTest : public ::testing::Test {
 protected:
  explicit SchtasksTest(const platform::Profile& profile = *platform::FindProfile("win10-x64")) : machine_(profile) {}

  // Starts schtasks.exe as the installer does and waits for it.
  DWORD ShellRun(const std::wstring& parameters) {
    SHELLEXECUTEINFOW info;
    info.cbSize = 60;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = L"schtasks.exe";
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    EXPECT_TRUE(ShellExecuteExW(&info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
  }

  // Runs schtasks.exe with its output redirected to a file, as the listing step does.
  ToolRun CapturedRun(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = TRUE;
    HANDLE file = CreateFileW(L"C:\\ProgramData\\schtasks_list.txt", GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup;
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    PROCESS_INFORMATION information;
    std::wstring commandLine = arguments.empty() ? L"schtasks.exe" : L"schtasks.exe " + arguments;
    EXPECT_TRUE(CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                               &startup, &information));
    ToolRun run;
    EXPECT_EQ(WaitForSingleObject(information.hProcess, 10000), WAIT_OBJECT_0);
    GetExitCodeProcess(information.hProcess, &run.exitCode);
    CloseHandle(information.hProcess);
    CloseHandle(information.hThread);
    CloseHandle(file);
    run.bytes = testing_support::ReadHostFile(machine_.Host(L"C:\\ProgramData\\schtasks_list.txt"));
    std::wstring text(run.bytes.size(), L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, run.bytes.data(), static_cast<int>(run.bytes.size()), text.data(),
                                static_cast<int>(text.size()));
    run.text = text.substr(0, static_cast<std::size_t>(n > 0 ? n : 0));
    return run;
  }

  testing_support::ScopedMachine machine_;
};

class EnglishSchtasksTest : public SchtasksTest {
 protected:
  EnglishSchtasksTest() : SchtasksTest(English()) {}
};

TEST_F(SchtasksTest, InstallerParametersCreateBothTasksAsTheSystemAccount) {
  EXPECT_EQ(ShellRun(CreationParameters(L"bvlchk_onstart", L"onstart")), 0u);
  EXPECT_EQ(ShellRun(CreationParameters(L"bvlchk_minute", L"minute /mo 30")), 0u);
  auto onstart = platform::FindScheduledTask(L"bvlchk_onstart");
  ASSERT_TRUE(onstart);
  EXPECT_EQ(onstart->action, L"\"" + kChecker + L"\"") << "the action is the checker's path in quotes";
  EXPECT_EQ(onstart->schedule, L"ONSTART");
  EXPECT_EQ(onstart->modifier, 0);
  EXPECT_EQ(onstart->runAs, L"System");
  auto minute = platform::FindScheduledTask(L"BVLCHK_MINUTE");
  ASSERT_TRUE(minute);
  EXPECT_EQ(minute->name, L"bvlchk_minute");
  EXPECT_EQ(minute->schedule, L"MINUTE");
  EXPECT_EQ(minute->modifier, 30);
  EXPECT_EQ(minute->action, L"\"" + kChecker + L"\"");

  // Stored as the task scheduler stores tasks: a UTF-16 XML file per task.
  const std::string bytes = testing_support::ReadHostFile(machine_.Host(L"C:\\Windows\\System32\\Tasks\\bvlchk_onstart"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::wstring xml = platform::Utf16LeToWide(bytes.substr(2));
  EXPECT_NE(xml.find(L"<BootTrigger>"), std::wstring::npos);
  EXPECT_NE(xml.find(L"<UserId>S-1-5-18</UserId>"), std::wstring::npos);
  EXPECT_NE(xml.find(L"<Command>\"C:\\Program Files\\brimvale\\bvlchk.exe\"</Command>"), std::wstring::npos);
}

TEST_F(SchtasksTest, KoreanListingIsInCodePage949WithColumnsAlignedOnTheConsole) {
  platform::ScheduledTask task{L"bvlchk_minute", L"\"" + kChecker + L"\"", L"MINUTE", 30, L"System",
                               L"2099-01-01T10:00:00"};
  ASSERT_TRUE(platform::SaveScheduledTask(task, false));
  task = platform::ScheduledTask{L"bvlchk_onstart", L"x", L"ONSTART", 0, L"System", L""};
  ASSERT_TRUE(platform::SaveScheduledTask(task, false));
  ToolRun run = CapturedRun(L"");
  EXPECT_EQ(run.exitCode, 0u);
  const std::wstring expected =
      L"\r\n"
      L"\ud3f4\ub354: \\\r\n"
      L"\uc791\uc5c5 \uc774\ub984" + std::wstring(31, L' ') + L" \ub2e4\uc74c \uc2e4\ud589 \uc2dc\uac04" +
      std::wstring(8, L' ') + L" \uc0c1\ud0dc" + std::wstring(11, L' ') + L"\r\n" +
      std::wstring(40, L'=') + L" " + std::wstring(22, L'=') + L" " + std::wstring(15, L'=') + L"\r\n" +
      // The Korean date is wider than its column, which pushes the status on.
      L"bvlchk_minute" + std::wstring(27, L' ') + L" 2099-01-01 \uc624\uc804 10:00:00" + L" \uc900\ube44" + std::wstring(11, L' ') + L"\r\n" +
      L"bvlchk_onstart" + std::wstring(26, L' ') + L" N/A" + std::wstring(19, L' ') + L" \uc900\ube44" +
      std::wstring(11, L' ') + L"\r\n"
      L"\r\n";
  EXPECT_EQ(run.text, expected);
  // Two bytes a Hangul syllable: the next column starts at byte 41 as it
  // starts at cell 41 on the console.
  std::size_t header = run.bytes.find("\r\n", 2) + 2;
  EXPECT_EQ(run.bytes[header + 40], ' ');
  EXPECT_NE(run.bytes[header + 41], ' ');
}

TEST_F(EnglishSchtasksTest, EnglishListingNamesEachTaskWithItsNextRun) {
  platform::ScheduledTask task{L"bvlchk_minute", L"x", L"MINUTE", 30, L"System", L"2099-01-01T14:30:00"};
  ASSERT_TRUE(platform::SaveScheduledTask(task, false));
  ToolRun run = CapturedRun(L"");
  const std::wstring expected = L"\r\nFolder: \\\r\n"
                                L"TaskName" + std::wstring(33, L' ') + L"Next Run Time" + std::wstring(10, L' ') +
                                L"Status         \r\n" + std::wstring(40, L'=') + L" " + std::wstring(22, L'=') + L" " +
                                std::wstring(15, L'=') + L"\r\n" + L"bvlchk_minute" + std::wstring(28, L' ') +
                                L"1/1/2099 2:30:00 PM" + std::wstring(4, L' ') + L"Ready          \r\n\r\n";
  EXPECT_EQ(run.text, expected);
}

TEST_F(EnglishSchtasksTest, EmptyListingSaysThereAreNoTasks) {
  ToolRun run = CapturedRun(L"");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.text,
            L"\r\nFolder: \\\r\nINFO: There are no scheduled tasks presently available at your access level.\r\n");
}

TEST_F(EnglishSchtasksTest, ExistingTaskIsReplacedOnlyWithForce) {
  ToolRun first = CapturedRun(L"/create /tn bvlchk_onstart /tr C:\\a.exe /sc onstart /ru System");
  EXPECT_EQ(first.exitCode, 0u);
  EXPECT_EQ(first.text, L"SUCCESS: The scheduled task \"bvlchk_onstart\" has successfully been created.\r\n");
  ToolRun again = CapturedRun(L"/create /tn BVLCHK_ONSTART /tr C:\\b.exe /sc onstart /ru System");
  EXPECT_EQ(again.exitCode, 1u);
  EXPECT_EQ(again.text, L"ERROR: Cannot create a file when that file already exists.\r\n");
  EXPECT_EQ(platform::FindScheduledTask(L"bvlchk_onstart")->action, L"C:\\a.exe");
  ToolRun forced = CapturedRun(L"/create /f /tn bvlchk_onstart /tr C:\\b.exe /sc onstart /ru System");
  EXPECT_EQ(forced.exitCode, 0u);
  EXPECT_EQ(platform::FindScheduledTask(L"bvlchk_onstart")->action, L"C:\\b.exe");
  EXPECT_EQ(platform::ListScheduledTasks().size(), 1u);
}

TEST_F(EnglishSchtasksTest, DeletionTakesForceBeforeOrAfterAndFailsForAMissingTask) {
  ASSERT_EQ(ShellRun(CreationParameters(L"bvlchk_onstart", L"onstart")), 0u);
  ASSERT_EQ(ShellRun(CreationParameters(L"bvlchk_minute", L"minute /mo 30")), 0u);
  // Without /f the tool asks; with no one to answer, nothing is deleted.
  ToolRun asked = CapturedRun(L"/delete /tn bvlchk_onstart");
  EXPECT_EQ(asked.text, L"WARNING: Are you sure you want to remove the task \"bvlchk_onstart\" (Y/N)? ");
  EXPECT_TRUE(platform::FindScheduledTask(L"bvlchk_onstart"));
  ToolRun before = CapturedRun(L"/f /delete /tn bvlchk_onstart");
  EXPECT_EQ(before.exitCode, 0u);
  EXPECT_EQ(before.text, L"SUCCESS: The scheduled task \"bvlchk_onstart\" was successfully deleted.\r\n");
  EXPECT_EQ(ShellRun(L"/delete /tn bvlchk_minute /f"), 0u);
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
  ToolRun missing = CapturedRun(L"/f /delete /tn bvlchk_minute");
  EXPECT_EQ(missing.exitCode, 1u);
  EXPECT_EQ(missing.text, L"ERROR: The system cannot find the file specified.\r\n");
}

struct SyntaxRow {
  const wchar_t* arguments;
  const wchar_t* error;
};

TEST_F(EnglishSchtasksTest, BadCommandsAreRefusedWithTheToolsMessages) {
  const SyntaxRow rows[] = {
      {L"/create /tn a /tr b", L"ERROR: Invalid syntax. Mandatory option '/sc' is missing."},
      {L"/create /tr b /sc onstart", L"ERROR: Invalid syntax. Mandatory option '/tn' is missing."},
      {L"/create /tn a /tr b /sc hourly", L"ERROR: Invalid Schedule Type specified."},
      {L"/create /tn a /tr b /sc minute /mo 0", L"ERROR: Invalid value for /MO option."},
      {L"/create /tn a /tr b /sc minute /mo 1440", L"ERROR: Invalid value for /MO option."},
      {L"/create /tn a /tr b /sc minute /mo 5x", L"ERROR: Invalid value for /MO option."},
      {L"/create /tn a /tr b /sc onstart /mo 5", L"ERROR: Invalid syntax. /MO option is not allowed for ONSTART schedule type."},
      {L"/create /tn a /tn b /tr c /sc onstart", L"ERROR: Invalid syntax. '/tn' option is not allowed more than '1' time(s)."},
      {L"/create /tn", L"ERROR: Invalid syntax. Value expected for '/tn'."},
      {L"/bogus", L"ERROR: Invalid argument/option - '/bogus'."},
      {L"/create /delete /tn a", L"ERROR: Invalid argument/option - '/delete'."},
      {L"/create /tn a:b /tr c /sc onstart", L"ERROR: The filename, directory name, or volume label syntax is incorrect."},
      {L"/create /tn a /tr c /sc onstart /ru nobody", L"ERROR: No mapping between account names and security IDs was done."},
  };
  for (const auto& row : rows) {
    ToolRun run = CapturedRun(row.arguments);
    EXPECT_EQ(run.exitCode, 1u) << platform::WideToUtf8(row.arguments);
    EXPECT_EQ(run.text.substr(0, run.text.find(L"\r\n")), row.error) << platform::WideToUtf8(row.arguments);
  }
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

TEST_F(SchtasksTest, KoreanMachineAnswersInKorean) {
  ToolRun run = CapturedRun(L"/f /delete /tn nothing");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.text, L"\uc624\ub958: \uc9c0\uc815\ub41c \ud30c\uc77c\uc744 \ucc3e\uc744 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4.\r\n");
}

TEST(TaskStoreTest, NamesMustBeFileNamesAndSavingDoesNotReplaceUnlessAsked) {
  testing_support::ScopedMachine machine;
  for (const wchar_t* bad : {L"", L"a\\b", L"a/b", L"a*", L"..", L"x\"y"}) {
    EXPECT_FALSE(platform::SaveScheduledTask({bad, L"x", L"ONSTART", 0, L"System", L""}, false)) << platform::WideToUtf8(bad);
  }
  EXPECT_FALSE(platform::SaveScheduledTask({L"long" + std::wstring(235, L'x'), L"x", L"ONSTART", 0, L"System", L""}, false));
  EXPECT_FALSE(platform::SaveScheduledTask({L"daily", L"x", L"DAILY", 1, L"System", L""}, false));
  ASSERT_TRUE(platform::SaveScheduledTask({L"\\Task", L"x", L"ONSTART", 0, L"System", L""}, false));
  EXPECT_FALSE(platform::SaveScheduledTask({L"TASK", L"y", L"ONSTART", 0, L"System", L""}, false));
  ASSERT_TRUE(platform::SaveScheduledTask({L"TASK", L"y & <z>", L"MINUTE", 5, L"System", L""}, true));
  auto tasks = platform::ListScheduledTasks();
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_EQ(tasks[0].name, L"Task") << "a replaced task keeps its name";
  EXPECT_EQ(tasks[0].action, L"y & <z>");
  EXPECT_EQ(tasks[0].modifier, 5);
  EXPECT_FALSE(tasks[0].startBoundary.empty()) << "a new repeating task starts in the current minute";
  EXPECT_TRUE(platform::DeleteScheduledTask(L"task"));
  EXPECT_FALSE(platform::DeleteScheduledTask(L"task"));
}

}  // namespace
