// The shell's path-name calls as the interface states them, the same text
// logic on both builds. shlwapi's own PathFindFileNameW and PathAppendW stop
// at a path's first NUL, limit the result to MAX_PATH and canonicalise ".."
// and "." on appending; the interface promises none of that, so the Windows
// build uses these too.
#include "platform/files.h"

namespace win {

std::wstring PathFindFileNameW(const std::wstring& path) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    if ((separator(path[i]) || path[i] == L':') && !separator(path[i + 1])) start = i + 1;
  }
  return path.substr(start);
}

BOOL PathAppendW(std::wstring* path, const std::wstring& more) {
  if (!path) return FALSE;
  if (!path->empty() && path->back() != L'\\' && path->back() != L'/') path->push_back(L'\\');
  const std::size_t start = more.find_first_not_of(L'\\');
  if (start != std::wstring::npos) path->append(more, start, std::wstring::npos);
  return TRUE;
}

}  // namespace win
