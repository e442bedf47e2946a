// Processes on the real system: children started with CreateProcessW and
// their exit codes, the process list counted in entries, the snapshot, the
// module path's truncation, and the process records of platform/process.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/process.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "windows/platform/child_program.h"

#include "platform/windows/windows_api.h"

namespace {

using platform_windows::Native;
using platform_windows::Wrapped;
using windows_tests::ChildCommand;

// Starts the child with `arguments`; its handles land in `started`.
bool StartChild(const std::wstring& arguments, win::PROCESS_INFORMATION* started,
                const win::STARTUPINFOW* startup = nullptr, win::BOOL inherit = FALSE) {
  return win::CreateProcessW(nullptr, ChildCommand(arguments), nullptr, nullptr, inherit, CREATE_NO_WINDOW, nullptr,
                             nullptr, startup, started) != FALSE;
}

void CloseChild(const win::PROCESS_INFORMATION& started) {
  ::CloseHandle(Native(started.hThread));
  ::CloseHandle(Native(started.hProcess));
}

std::string FileText(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ProcessTest, ChildsExitCodeIsReadAfterItEnds) {
  win::PROCESS_INFORMATION started;
  ASSERT_TRUE(StartChild(L"exit 7", &started));
  EXPECT_EQ(win::GetProcessId(started.hProcess), started.dwProcessId);
  ASSERT_EQ(win::WaitForSingleObject(started.hProcess, 30000), WAIT_OBJECT_0);
  win::DWORD code = 0;
  EXPECT_TRUE(win::GetExitCodeProcess(started.hProcess, &code));
  EXPECT_EQ(code, 7u);
  CloseChild(started);
}

TEST(ProcessTest, InheritedFileTakesTheChildsOutputAndAnUninheritableOneIsRefused) {
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + windows_tests::UniqueName(L"child_output") + L".txt";
  ::SECURITY_ATTRIBUTES inherit{sizeof(::SECURITY_ATTRIBUTES), nullptr, TRUE};
  ::HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  win::STARTUPINFOW startup;
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = Wrapped(file);
  win::PROCESS_INFORMATION started;
  ASSERT_TRUE(StartChild(L"print written-by-the-child", &started, &startup, TRUE));
  EXPECT_EQ(win::WaitForSingleObject(started.hProcess, 30000), WAIT_OBJECT_0);
  CloseChild(started);
  ::CloseHandle(file);
  EXPECT_EQ(FileText(path), "written-by-the-child");

  // Another file: Wine's console host of the child may still hold the first.
  const std::wstring other = path + L".private";
  ::HANDLE private_ = ::CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(private_, INVALID_HANDLE_VALUE) << ::GetLastError();
  startup.hStdOutput = Wrapped(private_);
  const bool lost = StartChild(L"print lost", &started, &startup, TRUE);
  const win::DWORD error = win::GetLastError();
  EXPECT_FALSE(lost);
  EXPECT_EQ(error, static_cast<win::DWORD>(ERROR_INVALID_HANDLE));
  ::CloseHandle(private_);
  ::DeleteFileW(other.c_str());
  ::DeleteFileW(path.c_str());
}

TEST(ProcessTest, EnumerationCountsEntriesAndStaysWithinThem) {
  win::DWORD ids[4096];
  win::DWORD count = 0;
  ASSERT_TRUE(win::K32EnumProcesses(ids, 4096, &count));
  ASSERT_GT(count, 1u);
  ASSERT_LT(count, 4096u);
  EXPECT_NE(std::find(ids, ids + count, win::GetCurrentProcessId()), ids + count);
  // Room for two: two entries, and nothing written beyond them.
  win::DWORD two[3] = {0, 0, 0xBADF00D};
  ASSERT_TRUE(win::K32EnumProcesses(two, 2, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(two[2], 0xBADF00Du);
}

TEST(ProcessTest, SnapshotShowsAChildByNameAndParentUntilItIsTerminated) {
  win::PROCESS_INFORMATION started;
  ASSERT_TRUE(StartChild(L"sleep", &started));
  auto findChild = [&](win::PROCESSENTRY32W* found) {
    win::HANDLE snapshot = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    win::PROCESSENTRY32W entry;
    bool seen = false;
    for (win::BOOL more = win::Process32FirstW(snapshot, &entry); more; more = win::Process32NextW(snapshot, &entry)) {
      if (entry.th32ProcessID != started.dwProcessId) continue;
      *found = entry;
      seen = true;
    }
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_NO_MORE_FILES));
    ::CloseHandle(Native(snapshot));
    return seen;
  };
  win::PROCESSENTRY32W child;
  ASSERT_TRUE(findChild(&child));
  EXPECT_EQ(child.szExeFile, L"windows_test_child.exe");
  EXPECT_EQ(child.th32ParentProcessID, win::GetCurrentProcessId());

  win::HANDLE opened = win::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started.dwProcessId);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(win::TerminateProcess(opened, 9));
  EXPECT_EQ(win::WaitForSingleObject(opened, 30000), WAIT_OBJECT_0);
  win::DWORD code = 0;
  EXPECT_TRUE(win::GetExitCodeProcess(started.hProcess, &code));
  EXPECT_EQ(code, 9u);
  EXPECT_FALSE(findChild(&child));
  ::CloseHandle(Native(opened));
  CloseChild(started);
}

TEST(ProcessTest, ModuleFileNameIsCutToTheBufferWithItsError) {
  wchar_t full[1024] = {};
  const win::DWORD length = win::GetModuleFileNameW(nullptr, full, 1024);
  ASSERT_GT(length, 4u);
  const std::wstring path(full, length);
  EXPECT_EQ(path.substr(path.rfind(L'\\') + 1), L"windows_platform_tests.exe");
  wchar_t small[5];
  std::fill(std::begin(small), std::end(small), L'#');
  EXPECT_EQ(win::GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::wstring(small), path.substr(0, 4));
}

TEST(ProcessRecordTest, StartedProgramKeepsItsExitCodeAndImageAfterItEnds) {
  const win::DWORD id = platform::StartProcess(windows_tests::ChildProgram(), ChildCommand(L"exit 5"));
  ASSERT_NE(id, 0u);
  EXPECT_EQ(platform::WaitForProcess(id, 30000), std::optional<win::DWORD>(5));
  auto record = platform::FindProcess(id);
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->running);
  EXPECT_EQ(record->exitCode, 5u);
  EXPECT_EQ(record->imagePath, windows_tests::ChildProgram());

  // A file that is no program, as the simulated machine reports it.
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring text = std::wstring(folder) + windows_tests::UniqueName(L"not_a_program") + L".exe";
  std::ofstream(text.c_str()) << "not a program";
  EXPECT_EQ(platform::StartProcess(text, L""), 0u);
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_BAD_FORMAT));
  ::DeleteFileW(text.c_str());
}

TEST(ProcessRecordTest, ThisProcessIsListedWithItsImageAndAccount) {
  const platform::ProcessRecord& self = platform::CurrentProcessRecord();
  EXPECT_EQ(self.id, win::GetCurrentProcessId());
  EXPECT_EQ(self.imagePath, windows_tests::OwnFolder() + L"\\windows_platform_tests.exe");
  EXPECT_FALSE(self.user.empty());
  EXPECT_EQ(self.is64Bit, sizeof(void*) == 8);
  const auto listed = platform::ListProcesses();
  auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& r) { return r.id == self.id; });
  ASSERT_NE(found, listed.end());
  EXPECT_EQ(found->imagePath, self.imagePath);
  EXPECT_EQ(found->parentId, self.parentId);
  EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.id < b.id; }));
}

}  // namespace
