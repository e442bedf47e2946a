// ShellExecuteExW on the real system: a program opened with its process
// handed back, failures with the shell's codes, and the structure size that
// must be this target's (60 bytes on i686, 112 on x86_64); and the security
// records that calls taking SECURITY_ATTRIBUTES turn into the system's.
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "windows/platform/child_program.h"

#include "platform/windows/windows_api.h"

namespace {

win::SHELLEXECUTEINFOW Info(const std::wstring& file, const wchar_t* parameters) {
  win::SHELLEXECUTEINFOW info;
  info.cbSize = win::kShellExecuteInfoSize;
  info.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_NOASYNC | win::SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters;
  info.nShow = SW_HIDE;
  return info;
}

TEST(ShellExecuteTest, OpenStartsTheProgramAndHandsBackItsProcess) {
  const std::wstring child = windows_tests::ChildProgram();
  win::SHELLEXECUTEINFOW info = Info(child, L"exit 7");
  ASSERT_TRUE(win::ShellExecuteExW(&info)) << win::GetLastError();
  EXPECT_GT(reinterpret_cast<std::uintptr_t>(info.hInstApp), 32u);
  ASSERT_NE(info.hProcess, nullptr);
  ASSERT_EQ(win::WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
  win::DWORD code = 0;
  EXPECT_TRUE(win::GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 7u);
  ::CloseHandle(platform_windows::Native(info.hProcess));
}

TEST(ShellExecuteTest, MissingFileFailsWithTheShellsCode) {
  const std::wstring missing = windows_tests::OwnFolder() + L"\\missing.exe";
  win::SHELLEXECUTEINFOW info = Info(missing, nullptr);
  EXPECT_FALSE(win::ShellExecuteExW(&info));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(info.hInstApp), static_cast<std::uintptr_t>(win::SE_ERR_FNF));
  EXPECT_EQ(info.hProcess, nullptr);
}

TEST(ShellExecuteTest, StructureSizedForTheOtherTargetIsRefused) {
  // Code that wrote the 32-bit size (60) runs nothing as a 64-bit program,
  // and the 64-bit size (112) nothing as a 32-bit one.
  const std::wstring child = windows_tests::ChildProgram();
  win::SHELLEXECUTEINFOW info = Info(child, L"exit 0");
  info.cbSize = sizeof(void*) == 4 ? 112 : 60;
  EXPECT_FALSE(win::ShellExecuteExW(&info));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(info.hProcess, nullptr);
}

TEST(SecurityRecordTest, InheritableRecordWithANullListGivesAnInheritableHandle) {
  win::SECURITY_DESCRIPTOR descriptor;
  EXPECT_FALSE(win::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) << "not initialised yet";
  EXPECT_FALSE(win::InitializeSecurityDescriptor(&descriptor, 2));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_UNKNOWN_REVISION));
  ASSERT_TRUE(win::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(win::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
  win::SECURITY_ATTRIBUTES security;
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = &descriptor;
  security.bInheritHandle = TRUE;
  win::HANDLE event = win::CreateEventW(&security, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ::DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(platform_windows::Native(event), &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, static_cast<::DWORD>(HANDLE_FLAG_INHERIT));
  ::CloseHandle(platform_windows::Native(event));
}

}  // namespace
