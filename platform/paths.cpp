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

bool Exists(const std::filesystem::path& p) {
  struct stat info {};
  return ::lstat(p.c_str(), &info) == 0;
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
  bool existing = true;
  for (const std::wstring& part : parts) {
    std::string asWritten = WideToUtf8(part);
    if (existing) {
      if (Exists(host / asWritten)) {
        host /= asWritten;
        continue;
      }
      if (auto found = FindEntryIgnoringCase(host, part)) {
        host /= *found;
        continue;
      }
      existing = false;
    }
    host /= asWritten;
  }
  return host;
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
