// Messages for the MD5 tests and their digests as CMD5Checksum gives them.
#pragma once

#include <cstddef>
#include <random>
#include <string>

#include "system/md5_checksum.h"

namespace testing_md5 {

inline std::wstring Digest(const std::string& message) {
  CMD5Checksum checksum;
  checksum.Update(reinterpret_cast<const unsigned char*>(message.data()), message.size());
  return checksum.Final();
}

// `length` bytes that the same seed gives again on every platform.
inline std::string RandomBytes(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace testing_md5
