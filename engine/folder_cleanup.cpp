// Folder removal with the shell's delete operation and, for files in use,
// deletion scheduled for the next restart.
#include "engine/folder_cleanup.h"

#include "engine/engine_texts.h"
#include "platform/files.h"
#include "system/debug_log.h"

namespace {

const unsigned kSilentDelete = win::FOF_SILENT | win::FOF_NOCONFIRMATION | win::FOF_NOERRORUI;

}  // namespace

int ShellDelete(const std::wstring& path) {
  win::SHFILEOPSTRUCTW operation;
  operation.wFunc = win::FO_DELETE;
  operation.pFrom = path + std::wstring(2, L'\0');  // a list of one path, ended by an empty one
  operation.fFlags = kSilentDelete;
  return win::SHFileOperationW(&operation);
}

win::BOOL ClearFolder(const std::wstring& pattern) {
  const std::size_t slash = pattern.rfind(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : pattern.substr(0, slash);

  win::WIN32_FIND_DATAW data;
  win::HANDLE find = win::FindFirstFileW(pattern, &data);
  if (find != win::INVALID_HANDLE_VALUE) {
    do {
      const std::wstring& name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      const bool deleted = (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) ? ShellDelete(path) == 0
                                                                                    : win::DeleteFileW(path) != win::FALSE;
      if (!deleted) {
        // In use: move it out of the way and let Windows delete it at the
        // next restart.
        LogDebugLine(engine_texts::AgentFileDeleteFail(path));
        const std::wstring underscored = folder + L"\\_" + name;
        win::MoveFileExW(path, underscored, 0);
        win::MoveFileExW(underscored, L"", win::MOVEFILE_DELAY_UNTIL_REBOOT);
      }
    } while (win::FindNextFileW(find, &data));
    win::FindClose(find);
  }

  if (ShellDelete(folder) != 0) LogDebugLine(engine_texts::AgentFileDeleteFail(folder));
  return win::TRUE;
}
