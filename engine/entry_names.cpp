// Checks of archive entry names before anything of an archive is unpacked.
#include "engine/entry_names.h"

#include <cwctype>
#include <string_view>
#include <vector>

namespace {

// The names of the entry's path, "/" and "\" both separating them.
std::vector<std::wstring_view> Components(std::wstring_view name) {
  std::vector<std::wstring_view> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of(L"/\\", start);
    if (end == std::wstring_view::npos) end = name.size();
    parts.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// A component that climbs out of the folder: "..", and, since Windows drops
// trailing dots and spaces from a name, any other name of only dots and
// spaces with two dots or more (".. ", "...").
bool ClimbsOut(std::wstring_view part) {
  if (part.find_first_not_of(L". ") != std::wstring_view::npos) return false;
  std::size_t dots = 0;
  for (wchar_t c : part) dots += c == L'.';
  return dots >= 2;
}

bool EqualsIgnoringCase(std::wstring_view a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

// A name Windows takes for a device: what stands before the first dot,
// without the spaces in front of it, is CON, PRN, AUX, NUL, or COM or LPT
// with a digit 1-9 or a superscript 1, 2 or 3.
bool IsDeviceName(std::wstring_view part) {
  std::wstring_view base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
    if (EqualsIgnoringCase(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const wchar_t digit = base[3];
  const bool port = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
  return port && (EqualsIgnoringCase(base.substr(0, 3), L"COM") || EqualsIgnoringCase(base.substr(0, 3), L"LPT"));
}

bool HasInvalidCharacter(std::wstring_view part) {
  for (wchar_t c : part) {
    if (c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsContainedEntryName(const std::wstring& name) {
  if (!name.empty() && (name[0] == L'\\' || name[0] == L'/')) return false;
  // "C:x" names a drive; a colon anywhere else names a stream of a file.
  if (name.find(L':') != std::wstring::npos) return false;
  for (std::wstring_view part : Components(name)) {
    if (ClimbsOut(part)) return false;
  }
  return true;
}

bool IsWindowsEntryName(const std::wstring& name) {
  for (std::wstring_view part : Components(name)) {
    if (part.empty() || part == L".") continue;
    if (part.back() == L'.' || part.back() == L' ') return false;
    if (HasInvalidCharacter(part) || IsDeviceName(part)) return false;
  }
  return true;
}
