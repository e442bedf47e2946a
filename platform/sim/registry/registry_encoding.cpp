// Text and base64 forms of registry value data, and JSON string output.
#include "platform/sim/registry/registry_encoding.h"

#include <array>
#include <cstdint>

namespace platform {

namespace {

void AppendUtf8(std::string* out, std::uint32_t c) {
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

void AppendUtf16(std::string* out, std::uint32_t unit) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

bool Utf16LeToUtf8(std::string_view bytes, std::string* utf8) {
  if (bytes.size() % 2 != 0) return false;
  utf8->clear();
  utf8->reserve(bytes.size() / 2);
  auto unitAt = [&bytes](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
  };
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t unit = unitAt(i);
    if (unit < 0x80) {
      utf8->push_back(static_cast<char>(unit));
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 4 > bytes.size()) return false;
      std::uint32_t low = unitAt(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      AppendUtf8(utf8, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    } else {
      AppendUtf8(utf8, unit);
    }
  }
  return true;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (std::size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    std::uint32_t c;
    std::size_t length;
    if (b < 0x80) {
      c = b;
      length = 1;
    } else if (b < 0xE0) {
      c = b & 0x1F;
      length = 2;
    } else if (b < 0xF0) {
      c = b & 0x0F;
      length = 3;
    } else {
      c = b & 0x07;
      length = 4;
    }
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      AppendUtf16(&out, 0xD800 | (c >> 10));
      AppendUtf16(&out, 0xDC00 | (c & 0x3FF));
    } else {
      AppendUtf16(&out, c);
    }
  }
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out((bytes.size() + 2) / 3 * 4, '=');
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  char* to = out.data();
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3, to += 4) {
    std::uint32_t n = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
    to[0] = kBase64Digits[n >> 18];
    to[1] = kBase64Digits[(n >> 12) & 63];
    to[2] = kBase64Digits[(n >> 6) & 63];
    to[3] = kBase64Digits[n & 63];
  }
  if (std::size_t rest = bytes.size() - i) {
    std::uint32_t n = in[i] << 16 | (rest == 2 ? in[i + 1] << 8 : 0);
    to[0] = kBase64Digits[n >> 18];
    to[1] = kBase64Digits[(n >> 12) & 63];
    if (rest == 2) to[2] = kBase64Digits[(n >> 6) & 63];
  }
  return out;
}

bool DecodeBase64(std::string_view text, std::string* bytes) {
  static const auto table = [] {
    std::array<signed char, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kBase64Digits[i])] = static_cast<signed char>(i);
    return t;
  }();
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  bytes->assign(text.size() / 4 * 3 - padding, '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  char* to = bytes->data();
  const std::size_t whole = padding ? text.size() - 4 : text.size();
  for (std::size_t i = 0; i < whole; i += 4, to += 3) {
    int a = table[in[i]], b = table[in[i + 1]], c = table[in[i + 2]], d = table[in[i + 3]];
    if ((a | b | c | d) < 0) return false;
    std::uint32_t n = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6 | d);
    to[0] = static_cast<char>(n >> 16);
    to[1] = static_cast<char>(n >> 8);
    to[2] = static_cast<char>(n);
  }
  if (padding) {
    const unsigned char* last = in + whole;
    int a = table[last[0]], b = table[last[1]], c = padding == 1 ? table[last[2]] : 0;
    if ((a | b | c) < 0) return false;
    std::uint32_t n = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6);
    to[0] = static_cast<char>(n >> 16);
    if (padding == 1) to[1] = static_cast<char>(n >> 8);
  }
  return true;
}

void AppendJsonString(std::string* out, std::string_view utf8) {
  static const char hex[] = "0123456789abcdef";
  out->push_back('"');
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out->append(utf8.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      default:
        out->append("\\u00");
        out->push_back(hex[c >> 4]);
        out->push_back(hex[c & 15]);
    }
  }
  out->append(utf8.data() + run, utf8.size() - run);
  out->push_back('"');
}

}  // namespace platform
