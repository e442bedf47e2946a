// Paths as the Windows calls hand them over: the text of a fixed-size path
// buffer, and the file name at a path's end.
#pragma once

#include <cstddef>
#include <string>

// The text of a buffer of `capacity` characters up to its first NUL; the
// whole buffer when it holds none (a call that filled it to the brim).
inline std::wstring BufferText(const wchar_t* buffer, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && buffer[length] != L'\0') ++length;
  return std::wstring(buffer, length);
}

// What follows the path's last backslash; the whole path when it has none.
inline std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
