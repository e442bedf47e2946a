// The child program of the Windows platform tests (tests/windows/helpers/
// test_child.cpp), built beside the test program, and names unique to one
// test run so that runs in one Wine prefix do not meet.
#pragma once

#include <string>

#include "platform/process.h"

namespace windows_tests {

// The folder of the running test program.
inline std::wstring OwnFolder() {
  wchar_t path[1024] = {};
  const std::wstring self(path, win::GetModuleFileNameW(nullptr, path, 1024));
  return self.substr(0, self.rfind(L'\\'));
}

inline std::wstring ChildProgram() { return OwnFolder() + L"\\windows_test_child.exe"; }

// The child's command line for `arguments`.
inline std::wstring ChildCommand(const std::wstring& arguments) {
  return L"\"" + ChildProgram() + L"\" " + arguments;
}

// `base` made unique to this process.
inline std::wstring UniqueName(const std::wstring& base) {
  return base + L"_" + std::to_wstring(win::GetCurrentProcessId());
}

}  // namespace windows_tests
