// A fresh folder under the system's temporary folder for one test, removed
// with all it holds when the test ends.
#pragma once

#include <cstdio>
#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/rpc_uuid.h"

namespace testing_windows {

class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[win::MAX_PATH + 1] = {};
    win::GetTempPathW(win::MAX_PATH + 1, temp);
    win::GUID id;
    win::UuidCreate(&id);
    path_ = std::wstring(temp) + L"bvl-" + std::to_wstring(id.Data1) + L"-" + std::to_wstring(id.Data2);
    win::CreateDirectoryW(path_, nullptr);
  }
  ~TempFolder() {
    win::SHFILEOPSTRUCTW operation;
    operation.wFunc = win::FO_DELETE;
    operation.pFrom = path_ + std::wstring(2, L'\0');
    operation.fFlags = win::FOF_SILENT | win::FOF_NOCONFIRMATION | win::FOF_NOERRORUI;
    win::SHFileOperationW(&operation);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes `bytes` to a new file at `path`; false when it cannot.
inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::FILE* file = win::_wfopen(path, L"wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace testing_windows
