// Little-endian integers in byte strings, as the PE format stores them. The
// caller checks that offset..offset+size lies inside the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline std::uint16_t Get16(std::string_view data, std::size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(data[offset]) |
                                    (static_cast<unsigned char>(data[offset + 1]) << 8));
}

inline std::uint32_t Get32(std::string_view data, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
  return value;
}

inline void Put16(std::string& data, std::size_t offset, std::uint16_t value) {
  data[offset] = static_cast<char>(value & 0xFF);
  data[offset + 1] = static_cast<char>(value >> 8);
}

inline void Put32(std::string& data, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void Put64(std::string& data, std::size_t offset, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace platform
