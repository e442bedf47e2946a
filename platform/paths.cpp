// Mapping between Windows paths of the machine and host paths.
#include "platform/paths.h"

#include <sys/stat.h>

#include <cwctype>

#include <vector>

#include "platform/codepage.h"
#include "platform/folder_index.h"
#include "platform/machine.h"

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::optional<std::filesystem::path> ToHostPath(const std::wstring& windowsPath) {
  std::wstring path = windowsPath;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (path.size() < 2 || path[1] != L':' || (path.size() > 2 && path[2] != L'\\')) return std::nullopt;
  wchar_t drive = static_cast<wchar_t>(std::towupper(path[0]));
  std::filesystem::path host;
  if (drive == L'C') {
    host = Machine::Current().DriveC();
  } else if (drive == L'Z') {
    host = "/";
  } else {
    return std::nullopt;
  }
  // Components resolved as Windows does: "." dropped, ".." goes up but never
  // above the drive's root.
  std::vector<std::wstring> parts;
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring part = path.substr(start, end - start);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
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
