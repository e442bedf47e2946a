// Tests of the SEED block cipher, SEED-CBC with PKCS#7 padding and the
// encryption of service information.
#include "settings/seed_cipher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/base64.h"
#include "support/scoped_machine.h"

namespace {

using Block = std::vector<unsigned char>;

const char kProductKey[] = "tzkvmqrnwxpldjc!";
const char kProductIv[] = "wqxnrtkzmvhplbgd";

const unsigned char* Key(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

std::vector<unsigned char> DecodeAll(const std::string& text) {
  std::vector<unsigned char> bytes(text.size());
  std::size_t size = bytes.size();
  EXPECT_TRUE(Base64Decode(text.data(), text.size(), bytes.data(), &size));
  bytes.resize(size);
  return bytes;
}

std::string Hex(const unsigned char* bytes, std::size_t length) {
  std::string text;
  char digits[3];
  for (std::size_t i = 0; i < length; ++i) {
    std::snprintf(digits, sizeof(digits), "%02x", bytes[i]);
    text += digits;
  }
  return text;
}

std::string PseudoRandomText(std::size_t length) {
  std::string text(length, '\0');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>((i * 131 + 7) ^ (i >> 3));
  return text;
}

struct KnownBlock {
  Block key;
  Block plain;
  Block cipher;
};

// The four ECB examples of RFC 4269 appendix B.
const KnownBlock kKnownBlocks[] = {
    {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
     {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F},
     {0x5E, 0xBA, 0xC6, 0xE0, 0x05, 0x4E, 0x16, 0x68, 0x19, 0xAF, 0xF1, 0xCC, 0x6D, 0x34, 0x6C, 0xDB}},
    {{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F},
     {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
     {0xC1, 0x1F, 0x22, 0xF2, 0x01, 0x40, 0x50, 0x50, 0x84, 0x48, 0x35, 0x97, 0xE4, 0x37, 0x0F, 0x43}},
    {{0x47, 0x06, 0x48, 0x08, 0x51, 0xE6, 0x1B, 0xE8, 0x5D, 0x74, 0xBF, 0xB3, 0xFD, 0x95, 0x61, 0x85},
     {0x83, 0xA2, 0xF8, 0xA2, 0x88, 0x64, 0x1F, 0xB9, 0xA4, 0xE9, 0xA5, 0xCC, 0x2F, 0x13, 0x1C, 0x7D},
     {0xEE, 0x54, 0xD1, 0x3E, 0xBC, 0xAE, 0x70, 0x6D, 0x22, 0x6B, 0xC3, 0x14, 0x2C, 0xD4, 0x0D, 0x4A}},
    {{0x28, 0xDB, 0xC3, 0xBC, 0x49, 0xFF, 0xD8, 0x7D, 0xCF, 0xA5, 0x09, 0xB1, 0x1D, 0x42, 0x2B, 0xE7},
     {0xB4, 0x1E, 0x6B, 0xE2, 0xEB, 0xA8, 0x4A, 0x14, 0x8E, 0x2E, 0xED, 0x84, 0x59, 0x3C, 0x5E, 0xC7},
     {0x9B, 0x9B, 0x7B, 0xFC, 0xD1, 0x81, 0x3C, 0xB9, 0x5D, 0x0B, 0x36, 0x18, 0xF4, 0x0F, 0x51, 0x22}},
};

TEST(SeedCipherTest, EncryptsTheKnownBlocks) {
  for (const KnownBlock& row : kKnownBlocks) {
    unsigned char out[16] = {};
    SeedEncryptBlock(row.key.data(), row.plain.data(), out);
    EXPECT_EQ(Hex(out, 16), Hex(row.cipher.data(), 16)) << "key " << Hex(row.key.data(), 16);
  }
}

// CBC with PKCS#7 padding built by hand from the single-block cipher.
std::vector<unsigned char> ChainByHand(const unsigned char* key, const unsigned char* iv, const std::string& plain) {
  std::vector<unsigned char> padded(plain.begin(), plain.end());
  const std::size_t pad = 16 - plain.size() % 16;
  padded.insert(padded.end(), pad, static_cast<unsigned char>(pad));
  std::vector<unsigned char> cipher(padded.size());
  const unsigned char* chain = iv;
  for (std::size_t offset = 0; offset < padded.size(); offset += 16) {
    unsigned char block[16];
    for (int i = 0; i < 16; ++i) block[i] = padded[offset + i] ^ chain[i];
    SeedEncryptBlock(key, block, &cipher[offset]);
    chain = &cipher[offset];
  }
  return cipher;
}

TEST(SeedCipherTest, ChainsBlocksAndPadsLikeHandMadeCbc) {
  for (std::size_t length : {0, 1, 15, 16, 17, 31, 32, 33, 100}) {
    const std::string plain = PseudoRandomText(length);
    const std::string text =
        SeedCbcEncrypt(Key(kProductKey), Key(kProductIv), reinterpret_cast<const unsigned char*>(plain.data()), length);
    const std::vector<unsigned char> cipher = DecodeAll(text);
    EXPECT_EQ(cipher.size(), 16 * (length / 16 + 1)) << length;
    EXPECT_EQ(cipher, ChainByHand(Key(kProductKey), Key(kProductIv), plain)) << length;
  }
}

TEST(SeedCipherTest, AddressSizesGiveTheExpectedTextLengths) {
  struct Row {
    std::wstring plain;
    std::size_t cipherBytes;
    std::size_t textLength;
  };
  const Row rows[] = {
      {L"192.168.100.200:", 32, 44},  // 16 bytes: a whole block of padding follows
      {L"10.20.30.40:8443", 32, 44},
      {L"192.168.100.200", 16, 24},   // 15 bytes: one padding byte
      {L"a", 16, 24},
  };
  for (const Row& row : rows) {
    const std::wstring text = EncryptServiceInfo(row.plain, L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgd");
    EXPECT_EQ(text.size(), row.textLength);
    EXPECT_EQ(DecodeAll(std::string(text.begin(), text.end())).size(), row.cipherBytes);
  }
}

TEST(SeedCipherTest, ServiceInfoIsDeterministicAndDependsOnEveryInput) {
  const std::wstring first = EncryptServiceInfo(L"10.0.0.1", L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgd");
  EXPECT_EQ(first, EncryptServiceInfo(L"10.0.0.1", L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgd"));
  EXPECT_NE(first, EncryptServiceInfo(L"10.0.0.2", L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgd"));
  EXPECT_NE(first, EncryptServiceInfo(L"10.0.0.1", L"tzkvmqrnwxpldjc?", L"wqxnrtkzmvhplbgd"));
  EXPECT_NE(first, EncryptServiceInfo(L"10.0.0.1", L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgD"));
}

TEST(SeedCipherTest, EmptyServiceInfoGivesEmptyText) {
  EXPECT_EQ(EncryptServiceInfo(L"", L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgd"), L"");
}

TEST(SeedCipherTest, KeyTextsAreCutOrZeroFilledTo16Bytes) {
  const std::string plain = "10.0.0.1";
  const auto* bytes = reinterpret_cast<const unsigned char*>(plain.data());

  const unsigned char shortKey[16] = {'a', 'b', 'c'};
  const std::string expectedShort = SeedCbcEncrypt(shortKey, Key(kProductIv), bytes, plain.size());
  EXPECT_EQ(EncryptServiceInfo(L"10.0.0.1", L"abc", L"wqxnrtkzmvhplbgd"),
            std::wstring(expectedShort.begin(), expectedShort.end()));

  const std::string expectedLong = SeedCbcEncrypt(Key(kProductKey), Key(kProductIv), bytes, plain.size());
  EXPECT_EQ(EncryptServiceInfo(L"10.0.0.1", L"tzkvmqrnwxpldjc!EXTRA", L"wqxnrtkzmvhplbgdEXTRA"),
            std::wstring(expectedLong.begin(), expectedLong.end()));
}

// SEED-CBC of `plain` by the openssl command line tool (SEED lives in its
// legacy provider); empty when the tool cannot do it here.
std::string OpensslSeedCbc(const std::string& plain, const unsigned char* key, const unsigned char* iv) {
  const std::filesystem::path folder = testing_support::MakeTempFolder("seed_cbc");
  const std::filesystem::path input = folder / "plain.bin";
  std::ofstream(input, std::ios::binary).write(plain.data(), static_cast<std::streamsize>(plain.size()));
  const std::string command = "openssl enc -provider legacy -provider default -seed-cbc -a -A -K " + Hex(key, 16) +
                              " -iv " + Hex(iv, 16) + " -in '" + input.string() + "' 2>/dev/null";
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    std::size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, read);
    if (pclose(pipe) != 0) output.clear();
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

TEST(SeedCipherTest, MatchesOpensslSeedCbc) {
  if (OpensslSeedCbc("probe", Key(kProductKey), Key(kProductIv)).empty()) {
    GTEST_SKIP() << "openssl cannot run seed-cbc here";
  }
  // The UTF-8 form of the wide text is what gets encrypted.
  struct Row {
    std::wstring plain;
    std::string utf8;
  };
  const Row rows[] = {
      {L"192.168.0.10", "192.168.0.10"},
      {L"192.168.100.200:", "192.168.100.200:"},
      {L"server.example.com:8443/agent", "server.example.com:8443/agent"},
      {L"\uc11c\ubc84 10.1.2.3", "\xec\x84\x9c\xeb\xb2\x84 10.1.2.3"},
  };
  for (const Row& row : rows) {
    const std::wstring text = EncryptServiceInfo(row.plain, L"tzkvmqrnwxpldjc!", L"wqxnrtkzmvhplbgd");
    EXPECT_EQ(std::string(text.begin(), text.end()), OpensslSeedCbc(row.utf8, Key(kProductKey), Key(kProductIv)))
        << row.utf8;
  }
  const std::string longText = PseudoRandomText(1000);
  EXPECT_EQ(SeedCbcEncrypt(kKnownBlocks[3].key.data(), kKnownBlocks[2].plain.data(),
                           reinterpret_cast<const unsigned char*>(longText.data()), longText.size()),
            OpensslSeedCbc(longText, kKnownBlocks[3].key.data(), kKnownBlocks[2].plain.data()));
}

}  // namespace
