// Code page conversions through iconv: the profile's ANSI code page for
// CP_ACP and CP_THREAD_ACP, UTF-8 for CP_UTF8.
#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/sim/machine/machine.h"

namespace win {

UINT GetACP() { return platform::Machine::Current().GetProfile().ansiCodePage; }

namespace {

std::string IconvName(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) codePage = GetACP();
  switch (codePage) {
    case CP_UTF8: return "UTF-8";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(codePage);
  }
}

// Converts with iconv, replacing what cannot be converted by `replacement`
// one input unit at a time. Returns false when the code page is unknown.
bool Convert(const std::string& to, const std::string& from, const char* input, std::size_t inputBytes,
             std::size_t unitSize, const std::string& replacement, std::string* output) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  output->clear();
  std::vector<char> buffer(inputBytes * 4 + 16);
  char* in = const_cast<char*>(input);
  std::size_t inLeft = inputBytes;
  while (inLeft > 0) {
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    output->append(buffer.data(), buffer.size() - outLeft);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An unconvertible or incomplete unit: substitute and step over it.
      output->append(replacement);
      std::size_t skip = std::min(unitSize, inLeft);
      in += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* out = buffer.data();
  std::size_t outLeft = buffer.size();
  iconv(cd, nullptr, nullptr, &out, &outLeft);
  output->append(buffer.data(), buffer.size() - outLeft);
  iconv_close(cd);
  return true;
}

const char* WideName() { return sizeof(wchar_t) == 4 ? "UTF-32LE" : "UTF-16LE"; }

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD, const wchar_t* wide, int wideLength, char* output, int outputSize,
                        const char* defaultChar, BOOL* usedDefault) {
  if (!wide || outputSize < 0 || (outputSize > 0 && !output)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t count = wideLength < 0 ? std::wcslen(wide) + 1 : static_cast<std::size_t>(wideLength);
  if (count == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string replacement = defaultChar ? std::string(defaultChar, 1) : std::string("?");
  std::string converted;
  if (!Convert(IconvName(codePage), WideName(), reinterpret_cast<const char*>(wide), count * sizeof(wchar_t),
               sizeof(wchar_t), replacement, &converted)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefault) *usedDefault = FALSE;
  if (outputSize == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<std::size_t>(outputSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(output, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

int MultiByteToWideChar(UINT codePage, DWORD, const char* bytes, int byteLength, wchar_t* output, int outputSize) {
  if (!bytes || outputSize < 0 || (outputSize > 0 && !output)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t count = byteLength < 0 ? std::strlen(bytes) + 1 : static_cast<std::size_t>(byteLength);
  if (count == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const wchar_t replacementChar = 0xFFFD;
  std::string replacement(reinterpret_cast<const char*>(&replacementChar), sizeof(wchar_t));
  std::string converted;
  if (!Convert(WideName(), IconvName(codePage), bytes, count, 1, replacement, &converted)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t units = converted.size() / sizeof(wchar_t);
  if (outputSize == 0) return static_cast<int>(units);
  if (units > static_cast<std::size_t>(outputSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(output, converted.data(), units * sizeof(wchar_t));
  return static_cast<int>(units);
}

}  // namespace win

namespace platform {

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  std::size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t c = 0;
    std::size_t extra = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      extra = 3;
    } else {
      out.push_back(0xFFFD);
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
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(c));
    i += extra + 1;
  }
  return out;
}

std::string WideToUtf16Le(const std::wstring& text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&out](std::uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      put(0xD800 | (c >> 10));
      put(0xDC00 | (c & 0x3FF));
    } else {
      put(c > 0x10FFFF ? 0xFFFD : c);
    }
  }
  return out;
}

std::wstring Utf16LeToWide(const std::string& bytes) {
  std::wstring out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      std::uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        i += 2;
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(unit));
  }
  return out;
}

}  // namespace platform
