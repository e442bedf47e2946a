// Program lookup for command lines and environment expansion.
#include "platform/sim/processes/program_search.h"

#include <filesystem>

#include "platform/environment.h"
#include "platform/sim/machine/paths.h"

namespace platform {

namespace {

bool IsAbsolute(const std::wstring& path) {
  return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool IsFile(const std::wstring& windowsPath) {
  auto host = ToHostPath(windowsPath);
  std::error_code error;
  return host && std::filesystem::is_regular_file(*host, error);
}

bool HasExtension(const std::wstring& name) {
  std::size_t slash = name.find_last_of(L"\\/");
  std::size_t dot = name.rfind(L'.');
  return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

std::optional<std::wstring> Existing(const std::wstring& path) {
  if (IsFile(path)) return path;
  if (!HasExtension(path) && IsFile(path + L".exe")) return path + L".exe";
  return std::nullopt;
}

}  // namespace

std::vector<std::wstring> SystemSearchFolders() {
  wchar_t system[win::MAX_PATH];
  std::vector<std::wstring> folders;
  if (win::GetSystemDirectoryW(system, win::MAX_PATH)) folders.push_back(system);
  folders.push_back(L"C:\\Windows");
  return folders;
}

std::optional<std::wstring> FindProgramFile(const std::wstring& name, const std::vector<std::wstring>& folders) {
  if (name.empty()) return std::nullopt;
  if (IsAbsolute(name)) return Existing(name);
  for (const std::wstring& folder : folders) {
    if (folder.empty()) continue;
    std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
    if (auto found = Existing(base + name)) return found;
  }
  return std::nullopt;
}

std::optional<std::wstring> ProgramOfCommandLine(const std::wstring& commandLine,
                                                 const std::vector<std::wstring>& folders) {
  std::size_t begin = commandLine.find_first_not_of(L" \t");
  if (begin == std::wstring::npos) return std::nullopt;
  if (commandLine[begin] == L'"') {
    std::size_t close = commandLine.find(L'"', begin + 1);
    std::wstring quoted = commandLine.substr(begin + 1, close == std::wstring::npos ? std::wstring::npos : close - begin - 1);
    return FindProgramFile(quoted, folders);
  }
  // Unquoted: the shortest prefix ending at a blank that names a file wins.
  std::size_t end = begin;
  while (true) {
    end = commandLine.find_first_of(L" \t", end);
    std::wstring candidate = commandLine.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
    if (auto found = FindProgramFile(candidate, folders)) return found;
    if (end == std::wstring::npos) return std::nullopt;
    end = commandLine.find_first_not_of(L" \t", end);
    if (end == std::wstring::npos) return std::nullopt;
  }
}

std::wstring ExpandMachineEnvironment(const std::wstring& text) {
  std::wstring out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t open = text.find(L'%', at);
    std::size_t close = open == std::wstring::npos ? std::wstring::npos : text.find(L'%', open + 1);
    if (close == std::wstring::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, open - at);
    std::wstring name = text.substr(open + 1, close - open - 1);
    wchar_t value[2048];
    win::DWORD n = name.empty() ? 0 : win::GetEnvironmentVariableW(name, value, 2048);
    if (n > 0 && n < 2048) {
      out.append(value, n);
      at = close + 1;
    } else {
      // Not a variable: keep the first '%' and look again from the second.
      out += text.substr(open, close - open);
      at = close;
    }
  }
  return out;
}

}  // namespace platform
