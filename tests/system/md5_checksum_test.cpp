// Tests of the MD5 digest against the host's tools (OpenSSL, md5sum): the
// digest text, the length field, and digests of files on the machine. The
// digests of data alone are in md5_digest_test.cpp.
#include "system/md5_checksum.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/scoped_machine.h"
#include "system/md5_test_messages.h"

namespace {

using testing_md5::Digest;
using testing_md5::RandomBytes;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// First word of a command's output; empty when it fails.
std::string FirstWordOf(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    std::size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, read);
    if (pclose(pipe) != 0) return std::string();
  }
  return output.substr(0, output.find_first_of(" \t\n"));
}

TEST(MD5ChecksumTest, HexTextMatchesOpensslDigestByteForByte) {
  // Random messages whose digests hold bytes below 0x10, which need their
  // leading zero digit.
  int smallBytes = 0;
  for (unsigned seed = 0; seed < 40; ++seed) {
    const std::string message = RandomBytes(seed * 37, seed);
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned int rawLength = 0;
    ASSERT_EQ(EVP_Digest(message.data(), message.size(), raw, &rawLength, EVP_md5(), nullptr), 1);
    std::string expected;
    char digits[3];
    for (unsigned i = 0; i < rawLength; ++i) {
      std::snprintf(digits, sizeof(digits), "%02x", raw[i]);
      expected += digits;
      smallBytes += raw[i] < 0x10;
    }
    EXPECT_EQ(Digest(message), Widen(expected)) << "message length " << message.size();
  }
  EXPECT_GT(smallBytes, 0);
}

TEST(MD5ChecksumTest, LengthFieldCarriesIntoTheHighWord) {
  // 2^29 bytes are 2^32 bits: the low word wraps to zero and the high word
  // takes the carry.
  const std::vector<unsigned char> zeros(1 << 20, 0);
  const std::size_t total = (std::size_t{1} << 29) + 5;
  CMD5Checksum checksum;
  for (int i = 0; i < 512; ++i) checksum.Update(zeros.data(), zeros.size());
  EXPECT_EQ(checksum.BitCountLow(), 0u);
  EXPECT_EQ(checksum.BitCountHigh(), 1u);
  checksum.Update(zeros.data(), 5);
  EXPECT_EQ(checksum.BitCountLow(), 40u);
  EXPECT_EQ(checksum.BitCountHigh(), 1u);

  const std::string expected = FirstWordOf("head -c " + std::to_string(total) + " /dev/zero | md5sum");
  ASSERT_EQ(expected.size(), 32u);
  EXPECT_EQ(checksum.Final(), Widen(expected));
}

class MD5FileTest : public ::testing::Test {
 protected:
  std::filesystem::path WriteFile(const std::wstring& windowsPath, const std::string& content) {
    const std::filesystem::path host = machine_.Host(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    return host;
  }
  testing_support::ScopedMachine machine_;
};

TEST_F(MD5FileTest, DigestsAFileOnTheMachine) {
  WriteFile(L"C:\\x.bin", "message digest");
  EXPECT_EQ(GetFileMD5(L"C:\\x.bin"), L"f96b697d7cb7938d525a2f31aaf161d0");
  WriteFile(L"C:\\Program Files\\Brimvale\\empty.dat", "");
  EXPECT_EQ(GetFileMD5(L"C:\\Program Files\\Brimvale\\empty.dat"), L"d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(MD5FileTest, MatchesMd5sumOnALargeRandomFile) {
  // 3 MB and a bit: many 1024-byte pieces and a short last one.
  const std::filesystem::path host = WriteFile(L"C:\\x.bin", RandomBytes(3 * 1000 * 1000 + 333, 77));
  const std::string expected = FirstWordOf("md5sum '" + host.string() + "'");
  ASSERT_EQ(expected.size(), 32u);
  EXPECT_EQ(GetFileMD5(L"C:\\x.bin"), Widen(expected));
}

TEST_F(MD5FileTest, GivesEmptyTextForFilesThatCannotBeRead) {
  EXPECT_EQ(GetFileMD5(L"C:\\missing.bin"), L"");
  EXPECT_EQ(GetFileMD5(L"C:\\no such folder\\x.bin"), L"");
  EXPECT_EQ(GetFileMD5(L""), L"");
  EXPECT_EQ(GetFileMD5(L"relative.bin"), L"");
  EXPECT_EQ(GetFileMD5(L"C:\\Windows"), L"");  // a folder opens but cannot be read
}

}  // namespace
