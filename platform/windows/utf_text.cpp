// Whole-string conversions between the program's wide strings (UTF-16 on
// Windows) and UTF-8 or UTF-16LE bytes. They are written out rather than
// taken from kernel32 so that damaged input gives the same text on every
// system: each byte that starts no valid UTF-8 sequence becomes one U+FFFD,
// and so does each unpaired surrogate on the way to UTF-8.
#include <cstdint>

#include "platform/codepage.h"

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// A code point as UTF-16 units; one beyond Unicode becomes U+FFFD.
void AppendUtf16(std::uint32_t c, std::wstring* out) {
  if (c > 0x10FFFF) c = kReplacement;
  if (c < 0x10000) {
    out->push_back(static_cast<wchar_t>(c));
    return;
  }
  c -= 0x10000;
  out->push_back(static_cast<wchar_t>(0xD800 | (c >> 10)));
  out->push_back(static_cast<wchar_t>(0xDC00 | (c & 0x3FF)));
}

}  // namespace

namespace platform {

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint16_t>(text[i]);
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(static_cast<std::uint16_t>(text[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint16_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacement;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::uint32_t c = 0;
    std::size_t extra = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      c = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      c = lead & 0x0F;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      c = lead & 0x07;
      extra = 3;
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    bool valid = true;
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (!valid) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    AppendUtf16(c, &out);
    i += extra + 1;
  }
  return out;
}

// A wide string already is UTF-16: its units become bytes, low byte first.
std::string WideToUtf16Le(const std::wstring& text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (wchar_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return out;
}

std::wstring Utf16LeToWide(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return out;
}

}  // namespace platform
