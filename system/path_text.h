// The text of a fixed-size path buffer as the Windows calls hand it over.
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
