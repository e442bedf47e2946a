// The legacy agent files that earlier versions left in the drivers folder:
// moved aside before the installation and deleted once it has registered.
#include <string>
#include <vector>

#include "engine/engine_texts.h"
#include "engine/folder_cleanup.h"
#include "engine/install_engine.h"
#include "platform/files.h"
#include "system/debug_log.h"
#include "system/kv_system.h"

namespace {

// The path with "_" in front of its file name, in the same folder.
std::wstring MovedAside(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? L"_" + path : path.substr(0, slash + 1) + L"_" + path.substr(slash + 1);
}

bool Exists(const std::wstring& path) { return win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::vector<std::wstring> InstallEngine::GetOldFileSet() {
  std::vector<std::wstring> paths;
  for (const wchar_t* name : {L"kvppob.sys", L"BrimvaleAgent.exe", L"bvlcore.dll", L"bvlmqtt.exe"}) {
    paths.push_back(kvutil::KVSystem::GetDriversPath(name));
  }
  return paths;
}

win::BOOL InstallEngine::RenameOldFile() {
  for (const std::wstring& path : GetOldFileSet()) {
    if (Exists(path)) win::MoveFileExW(path, MovedAside(path), win::MOVEFILE_REPLACE_EXISTING);
  }
  return win::TRUE;
}

win::BOOL InstallEngine::DeleteOldFile() {
  for (const std::wstring& path : GetOldFileSet()) {
    const std::wstring aside = MovedAside(path);
    // A missing path reads as all attribute bits, the folder bit included,
    // and goes to the shell's delete, which reports it missing.
    const bool deleted = (win::GetFileAttributesW(aside) & win::FILE_ATTRIBUTE_DIRECTORY)
                             ? ShellDelete(aside) == 0
                             : win::DeleteFileW(aside) != win::FALSE;
    if (!deleted) LogDebugLine(engine_texts::AgentFileDeleteFail(aside));
  }
  return win::TRUE;
}
