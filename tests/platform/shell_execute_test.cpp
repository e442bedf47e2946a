// Starting programs as the installer does: ShellExecuteExW with its verbs,
// masks and search, CreateProcessW with an inherited file handle as standard
// output, built-in programs behind stub PE files, and the security records.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/sim/processes/builtin_programs.h"
#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "support/host_files.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

constexpr unsigned long kInstallerMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;

class ShellExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing_support::PlaceBuiltinProgram(kEcho, "testecho")); }

  SHELLEXECUTEINFOW Info(const wchar_t* file, const wchar_t* parameters, const wchar_t* verb = L"open") {
    SHELLEXECUTEINFOW info;
    info.cbSize = 60;
    info.fMask = kInstallerMask;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_HIDE;
    return info;
  }

  static constexpr const wchar_t* kEcho = L"C:\\Program Files\\brimvale\\echo.exe";
  testing_support::ScopedMachine machine_;
};

TEST_F(ShellExecuteTest, OpenAndRunasStartTheFileAndHandBackItsProcess) {
  for (const wchar_t* verb : {L"open", L"runas", static_cast<const wchar_t*>(nullptr)}) {
    SHELLEXECUTEINFOW info = Info(kEcho, L"--exit 7", verb);
    ASSERT_TRUE(ShellExecuteExW(&info));
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(info.hInstApp), 32u);
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 7u);
    auto record = platform::FindProcess(GetProcessId(info.hProcess));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->imagePath, kEcho);
    EXPECT_EQ(record->parentId, GetCurrentProcessId());
    CloseHandle(info.hProcess);
  }
  SHELLEXECUTEINFOW noHandle = Info(kEcho, nullptr);
  noHandle.fMask = SEE_MASK_NOASYNC;
  ASSERT_TRUE(ShellExecuteExW(&noHandle));
  EXPECT_EQ(noHandle.hProcess, nullptr);
}

TEST_F(ShellExecuteTest, BareNameIsFoundInTheSystemDirectory) {
  SHELLEXECUTEINFOW info = Info(L"schtasks.exe", L"/query");
  ASSERT_TRUE(ShellExecuteExW(&info));
  auto record = platform::FindProcess(GetProcessId(info.hProcess));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->imagePath, L"C:\\Windows\\System32\\schtasks.exe");
  EXPECT_TRUE(record->is64Bit) << "the x64 machine's schtasks.exe is a 64-bit image";
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(info.hProcess);
  // The folder given is searched first, and ".exe" may be left out.
  SHELLEXECUTEINFOW local = Info(L"echo", nullptr);
  local.lpDirectory = L"C:\\Program Files\\brimvale";
  ASSERT_TRUE(ShellExecuteExW(&local));
  EXPECT_EQ(platform::FindProcess(GetProcessId(local.hProcess))->imagePath, kEcho);
  CloseHandle(local.hProcess);
}

struct ShellFailureRow {
  const wchar_t* file;
  const wchar_t* verb;
  DWORD cbSize;
  DWORD error;
  std::uintptr_t instance;
};

TEST_F(ShellExecuteTest, FailuresReportTheErrorAndTheShellCode) {
  std::ofstream(machine_.Host(L"C:\\readme.txt")) << "text";
  std::ofstream(machine_.Host(L"C:\\data.exe")) << "not a program";
  const ShellFailureRow rows[] = {
      {L"C:\\missing.exe", L"open", 60, ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
      {L"nothere.exe", L"open", 60, ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
      {L"C:\\readme.txt", L"open", 60, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC},
      {kEcho, L"print", 60, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC},
      {L"C:\\data.exe", L"open", 60, ERROR_BAD_EXE_FORMAT, ERROR_BAD_FORMAT},
  };
  for (const auto& row : rows) {
    SHELLEXECUTEINFOW info = Info(row.file, nullptr, row.verb);
    info.cbSize = row.cbSize;
    EXPECT_FALSE(ShellExecuteExW(&info)) << platform::WideToUtf8(row.file);
    EXPECT_EQ(GetLastError(), row.error) << platform::WideToUtf8(row.file);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(info.hInstApp), row.instance) << platform::WideToUtf8(row.file);
    EXPECT_EQ(info.hProcess, nullptr);
  }
  SHELLEXECUTEINFOW wrongSize = Info(kEcho, nullptr);
  wrongSize.cbSize = 59;
  EXPECT_FALSE(ShellExecuteExW(&wrongSize));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ShellExecuteTest, StubOfAMissingBuiltinProgramIsNoProgram) {
  ASSERT_TRUE(testing_support::PlaceBuiltinProgram(L"C:\\ghost.exe", "no-such-program"));
  SHELLEXECUTEINFOW info = Info(L"C:\\ghost.exe", nullptr);
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
}

TEST_F(ShellExecuteTest, FaultsFailTheStartForTheFileAsGivenOrAsFound) {
  platform::InjectFault({"ShellExecuteEx", L"schtasks.exe", ERROR_ACCESS_DENIED, 1});
  SHELLEXECUTEINFOW given = Info(L"schtasks.exe", nullptr);
  EXPECT_FALSE(ShellExecuteExW(&given));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::InjectFault({"ShellExecuteEx", L"C:\\Windows\\System32\\schtasks.exe", ERROR_PATH_NOT_FOUND, 1});
  SHELLEXECUTEINFOW found = Info(L"schtasks.exe", nullptr);
  EXPECT_FALSE(ShellExecuteExW(&found));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(found.hInstApp), SE_ERR_PNF);
  SHELLEXECUTEINFOW works = Info(L"schtasks.exe", nullptr);
  EXPECT_TRUE(ShellExecuteExW(&works));
  CloseHandle(works.hProcess);
}

class CreateProcessTest : public ShellExecuteTest {
 protected:
  // An inheritable file for a program's standard output, as the installer makes it.
  HANDLE OutputFile(const std::wstring& path, BOOL inherit = TRUE) {
    SECURITY_DESCRIPTOR descriptor;
    EXPECT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = inherit;
    return CreateFileW(path, GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  STARTUPINFOW Startup(HANDLE output) {
    STARTUPINFOW startup;
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = output;
    return startup;
  }
};

TEST_F(CreateProcessTest, InheritedFileHandleReceivesTheProgramsOutput) {
  HANDLE output = OutputFile(L"C:\\ProgramData\\out.txt");
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup = Startup(output);
  PROCESS_INFORMATION information;
  ASSERT_TRUE(CreateProcessW(nullptr, L"\"C:\\Program Files\\brimvale\\echo.exe\" first \"second word\"", nullptr,
                             nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &information));
  EXPECT_EQ(WaitForSingleObject(information.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(information.hThread, 0), WAIT_OBJECT_0) << "the main thread ended with it";
  CloseHandle(output);
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(L"C:\\ProgramData\\out.txt")), "first\nsecond word\n")
      << "standard error, given no handle, goes nowhere";
  EXPECT_EQ(platform::FindProcess(information.dwProcessId)->parentId, GetCurrentProcessId());
  CloseHandle(information.hProcess);
  CloseHandle(information.hThread);
}

TEST_F(CreateProcessTest, ProgramIsFoundFromItsBareNameOrAnUnquotedPath) {
  PROCESS_INFORMATION information;
  STARTUPINFOW startup;
  ASSERT_TRUE(CreateProcessW(nullptr, L"schtasks.exe", nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                             &startup, &information));
  EXPECT_EQ(platform::FindProcess(information.dwProcessId)->imagePath, L"C:\\Windows\\System32\\schtasks.exe");
  CloseHandle(information.hProcess);
  CloseHandle(information.hThread);
  // Unquoted with spaces: the first prefix that names a file wins.
  ASSERT_TRUE(CreateProcessW(nullptr, L"C:\\Program Files\\brimvale\\echo.exe x", nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &information));
  EXPECT_EQ(platform::FindProcess(information.dwProcessId)->imagePath, kEcho);
  CloseHandle(information.hProcess);
  CloseHandle(information.hThread);
  ASSERT_TRUE(testing_support::PlaceBuiltinProgram(L"C:\\Program.exe", "testecho"));
  ASSERT_TRUE(CreateProcessW(nullptr, L"C:\\Program Files\\brimvale\\echo.exe x", nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &information));
  EXPECT_EQ(platform::FindProcess(information.dwProcessId)->imagePath, L"C:\\Program.exe");
  CloseHandle(information.hProcess);
  CloseHandle(information.hThread);
  EXPECT_FALSE(CreateProcessW(nullptr, L"nothere.exe", nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &information));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(CreateProcessTest, HandleThatIsNotInheritableCannotBeAStandardStream) {
  HANDLE output = OutputFile(L"C:\\ProgramData\\private.txt", FALSE);
  STARTUPINFOW startup = Startup(output);
  PROCESS_INFORMATION information;
  EXPECT_FALSE(CreateProcessW(nullptr, L"schtasks.exe", nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                              &startup, &information));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(output);
  platform::InjectFault({"CreateProcess", L"schtasks.exe", ERROR_NOT_ENOUGH_MEMORY, 1});
  STARTUPINFOW plain;
  EXPECT_FALSE(CreateProcessW(nullptr, L"schtasks.exe", nullptr, nullptr, FALSE, 0, nullptr, nullptr, &plain,
                              &information));
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(SecurityRecordTest, DescriptorTakesANullListOnlyOnceInitialised) {
  SECURITY_DESCRIPTOR descriptor;
  EXPECT_FALSE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_REVISION);
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
  EXPECT_TRUE(descriptor.daclPresent);
  EXPECT_EQ(descriptor.dacl, nullptr);
  EXPECT_FALSE(descriptor.daclDefaulted);
}

}  // namespace
