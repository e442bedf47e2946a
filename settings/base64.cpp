// Base64 decoding (lenient, skips what is not base64) and encoding.
#include "settings/base64.h"

#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of a base64 character, or -1 for a character that is skipped.
int CharValue(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool Base64Decode(const char* text, std::size_t length, unsigned char* output, std::size_t* outputSize) {
  if (text == nullptr || output == nullptr || outputSize == nullptr) {
    return false;
  }
  const std::size_t capacity = *outputSize;
  std::size_t written = 0;
  std::size_t pos = 0;

  while (pos < length) {
    // A NUL where a group would begin ends the text.
    if (text[pos] == '\0') {
      break;
    }
    // Collect up to four counted characters; others are skipped.
    std::uint32_t group = 0;
    int counted = 0;
    while (counted < 4 && pos < length) {
      const int value = CharValue(static_cast<unsigned char>(text[pos++]));
      if (value >= 0) {
        group = (group << 6) | static_cast<std::uint32_t>(value);
        ++counted;
      }
    }
    // A group of k characters carries 6k bits, of which the first 6k/8 whole
    // bytes are kept.
    const int bytes = counted * 6 / 8;
    if (bytes == 0) {
      break;
    }
    if (capacity - written < static_cast<std::size_t>(bytes)) {
      *outputSize = written;
      return false;
    }
    const int bits = counted * 6;
    for (int i = 0; i < bytes; ++i) {
      output[written++] = static_cast<unsigned char>(group >> (bits - 8 * (i + 1)));
    }
  }
  *outputSize = written;
  return true;
}

std::string Base64Encode(const unsigned char* bytes, std::size_t length) {
  std::string text;
  if (bytes == nullptr || length == 0) {
    return text;
  }
  text.reserve((length + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += kAlphabet[(group >> 6) & 0x3F];
    text += kAlphabet[group & 0x3F];
  }
  const std::size_t rest = length - i;
  if (rest == 1) {
    const std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += "==";
  } else if (rest == 2) {
    const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8);
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += kAlphabet[(group >> 6) & 0x3F];
    text += '=';
  }
  return text;
}
