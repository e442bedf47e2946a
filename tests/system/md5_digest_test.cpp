// The MD5 digest of data: the RFC 1321 suite, updates split anywhere, and a
// digest object used again for the next message.
#include <gtest/gtest.h>

#include <string>

#include "system/md5_checksum.h"
#include "system/md5_test_messages.h"

namespace {

using testing_md5::Digest;
using testing_md5::RandomBytes;

TEST(MD5ChecksumTest, DigestsTheRfc1321Suite) {
  struct Row {
    const char* message;
    const wchar_t* digest;
  };
  const Row rows[] = {
      {"", L"d41d8cd98f00b204e9800998ecf8427e"},
      {"a", L"0cc175b9c0f1b6a831c399e269772661"},
      {"abc", L"900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", L"f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", L"c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       L"57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Digest(row.message), row.digest) << row.message;
  }
}

TEST(MD5ChecksumTest, SplitUpdatesEqualOneUpdate) {
  const std::string message = RandomBytes(200, 1321);
  // Lengths around the point where the length field no longer fits the last
  // block, and around whole blocks.
  for (std::size_t length : {55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 200}) {
    const std::string part = message.substr(0, length);
    const std::wstring whole = Digest(part);
    for (std::size_t split = 0; split <= length; ++split) {
      CMD5Checksum checksum;
      checksum.Update(reinterpret_cast<const unsigned char*>(part.data()), split);
      checksum.Update(reinterpret_cast<const unsigned char*>(part.data()) + split, length - split);
      ASSERT_EQ(checksum.Final(), whole) << "length " << length << " split at " << split;
    }
    CMD5Checksum byteByByte;
    for (char c : part) byteByByte.Update(reinterpret_cast<const unsigned char*>(&c), 1);
    EXPECT_EQ(byteByByte.Final(), whole) << "length " << length;
  }
}

TEST(MD5ChecksumTest, FinalStartsOverForTheNextMessage) {
  CMD5Checksum checksum;
  checksum.Update(reinterpret_cast<const unsigned char*>("abc"), 3);
  EXPECT_EQ(checksum.Final(), L"900150983cd24fb0d6963f7d28e17f72");
  checksum.Update(reinterpret_cast<const unsigned char*>("a"), 1);
  EXPECT_EQ(checksum.Final(), L"0cc175b9c0f1b6a831c399e269772661");
}

}  // namespace
