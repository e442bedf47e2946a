// The naming rules of Windows' file API for the simulated machine.
#include "platform/sim/files/windows_names.h"

#include <cwctype>
#include <vector>

namespace platform {

namespace {

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return true;
}

// The digit of a COM or LPT device: 1 to 9, or a superscript 1, 2 or 3.
bool IsPortDigit(wchar_t c) { return (c >= L'1' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3'; }

}  // namespace

bool IsDeviceName(std::wstring_view name) {
  // The device is named by what stands before the first dot, without the
  // spaces in front of that dot.
  std::wstring_view base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  if (base.size() == 3) {
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
      if (EqualsIgnoringCase(base, device)) return true;
    }
    return false;
  }
  if (base.size() == 4 && IsPortDigit(base[3])) {
    return EqualsIgnoringCase(base.substr(0, 3), L"COM") || EqualsIgnoringCase(base.substr(0, 3), L"LPT");
  }
  return false;
}

bool HasInvalidNameCharacter(std::wstring_view name) {
  for (wchar_t c : name) {
    if ((c >= 1 && c <= 31) || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' ||
        c == L'*') {
      return true;
    }
  }
  return false;
}

std::wstring_view WithoutTrailingDotsAndSpaces(std::wstring_view name) {
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.remove_suffix(1);
  return name;
}

win::DWORD PathNameError(const WindowsPathParts& path, PathUse use) {
  const std::vector<std::wstring>& names = path.names;
  if (names.empty()) return win::ERROR_SUCCESS;
  // A device as the last name is recognised before the path reaches a file
  // system, whatever its folders are.
  if (IsDeviceName(names.back())) {
    return use == PathUse::Item ? win::ERROR_FILE_NOT_FOUND : win::ERROR_DIRECTORY;
  }
  for (const std::wstring& name : names) {
    if (HasInvalidNameCharacter(name)) return win::ERROR_INVALID_NAME;
  }
  for (const std::wstring& name : names) {
    if (IsDeviceName(name)) return use == PathUse::NewFolderTree ? win::ERROR_DIRECTORY : win::ERROR_PATH_NOT_FOUND;
  }
  return win::ERROR_SUCCESS;
}

}  // namespace platform
