// Mapping between Windows paths of the machine and host paths.
#include "platform/sim/machine/paths.h"

#include <sys/stat.h>

#include <cwctype>

#include <vector>

#include "platform/codepage.h"
#include "platform/sim/files/folder_index.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/files/windows_names.h"

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::optional<WindowsPathParts> SplitWindowsPath(const std::wstring& windowsPath) {
  std::wstring path = windowsPath;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (path.size() < 2 || path[1] != L':' || (path.size() > 2 && path[2] != L'\\')) return std::nullopt;
  WindowsPathParts result;
  result.drive = static_cast<wchar_t>(std::towupper(path[0]));
  std::vector<std::wstring>& names = result.names;
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    const bool last = end == std::wstring::npos;
    if (last) end = path.size();
    std::wstring name = path.substr(start, end - start);
    start = end + 1;
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    if (name.empty() || name == L".") continue;
    if (last) {
      name = std::wstring(WithoutTrailingDotsAndSpaces(name));
    } else if (name.back() == L'.' && name.find_first_not_of(L'.') != std::wstring::npos) {
      // A folder's name loses one trailing dot; a name of dots only ("...")
      // is left as written.
      name.pop_back();
    }
    if (!name.empty()) names.push_back(name);
  }
  return result;
}

std::optional<std::filesystem::path> ToHostPath(const std::wstring& windowsPath) {
  const std::optional<WindowsPathParts> split = SplitWindowsPath(windowsPath);
  if (!split) return std::nullopt;
  return ToHostPath(*split);
}

std::optional<std::filesystem::path> ToHostPath(const WindowsPathParts& path) {
  std::filesystem::path host;
  if (path.drive == L'C') {
    host = Machine::Current().DriveC();
  } else if (path.drive == L'Z') {
    host = "/";
  } else {
    return std::nullopt;
  }
  const std::vector<std::wstring>& parts = path.names;
  // The path as written, and the deepest of its folders that exists as
  // written: the components up to there need no lookup ignoring case. Plain
  // strings, since this runs for every file operation.
  if (parts.empty()) return host;
  std::vector<std::string> written{host.string()};
  while (!written[0].empty() && written[0].back() == '/') written[0].pop_back();  // Z: is "/"
  for (const std::wstring& part : parts) written.push_back(written.back() + "/" + WideToUtf8(part));
  const std::size_t last = parts.size() - 1;
  if (Exists(written[last + 1])) return std::filesystem::path(written[last + 1]);
  // Mostly a new file in an existing folder: the lookup of its name tells
  // whether the folder exists as written too.
  bool folderFound = false;
  const std::string& folder = written[last].empty() ? std::string("/") : written[last];
  if (auto found = FindEntryIgnoringCase(folder, parts[last], &folderFound)) {
    return std::filesystem::path(written[last] + "/" + *found);
  }
  if (folderFound) return std::filesystem::path(written[last + 1]);
  std::size_t resolved = last;
  while (resolved > 0 && !Exists(written[resolved])) --resolved;

  std::string result = written[resolved];
  bool existing = true;
  for (std::size_t i = resolved; i < parts.size(); ++i) {
    const std::string asWritten = written[i + 1].substr(written[i].size() + 1);
    if (existing) {
      // The first component after `resolved` is known to be missing as written.
      if (i > resolved && Exists(result + "/" + asWritten)) {
        result += "/" + asWritten;
        continue;
      }
      if (auto found = FindEntryIgnoringCase(result.empty() ? std::string("/") : result, parts[i])) {
        result += "/" + *found;
        continue;
      }
      existing = false;
    }
    result += "/" + asWritten;
  }
  return std::filesystem::path(result);
}

std::wstring ToWindowsPath(const std::filesystem::path& hostPath) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(hostPath, error).lexically_normal();
  std::filesystem::path driveC = Machine::Current().DriveC().lexically_normal();
  std::string text = absolute.string();
  std::string base = driveC.string();
  while (!base.empty() && base.back() == '/') base.pop_back();
  std::wstring result;
  if (text == base || (text.size() > base.size() && text.compare(0, base.size(), base) == 0 && text[base.size()] == '/')) {
    result = L"C:\\" + Utf8ToWide(text.substr(std::min(text.size(), base.size() + 1)));
  } else {
    result = L"Z:" + Utf8ToWide(text);
  }
  for (wchar_t& c : result) {
    if (c == L'/') c = L'\\';
  }
  while (result.size() > 3 && result.back() == L'\\') result.pop_back();
  return result;
}

}  // namespace platform
