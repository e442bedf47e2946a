// Escaping of control characters in values embedded in debug lines.
#include "settings/debug_text.h"

#include <cstdio>

#include "platform/codepage.h"

std::wstring DebugValue(const std::wstring& value) {
  std::wstring out;
  out.reserve(value.size());
  for (wchar_t c : value) {
    if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\t') {
      out += L"\\t";
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      wchar_t escape[8];
      std::swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(c));
      out += escape;
    } else if (c == 0x2028 || c == 0x2029) {
      out += c == 0x2028 ? L"\\u2028" : L"\\u2029";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string DebugValue(const std::string& utf8) { return platform::WideToUtf8(DebugValue(platform::Utf8ToWide(utf8))); }
