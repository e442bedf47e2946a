// How the registry file stores value data: string data as text, other data as
// base64, exact bytes back after a fresh read of the file, and a file whose
// size stays proportional to the bytes written.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

class RegistryStorageTest : public testing::Test {
 protected:
  std::filesystem::path File() const { return machine_.Root() / "registry.json"; }

  void Set(const std::wstring& name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Storage", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              0);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              0);
    RegCloseKey(key);
  }

  // The value as a program that parses the file afresh sees it: the file is
  // made to look replaced by another process first.
  std::string FreshQuery(const std::wstring& name) {
    std::filesystem::last_write_time(File(), std::filesystem::last_write_time(File()) + std::chrono::seconds(1));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Storage", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key), 0);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size), 0);
    std::string data(size, '\0');
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size), 0);
    RegCloseKey(key);
    return data;
  }

  testing_support::ScopedMachine machine_;
};

struct FormRow {
  const char* name;
  DWORD type;
  std::string data;
  const char* form;  // "text", "base64", or nullptr when either fits
};

const FormRow kForms[] = {
    {"AsciiString", REG_SZ, std::string("a\0b\0c\0\0\0", 8), "text"},
    {"KoreanString", REG_SZ, std::string("\x00\xac\x01\xac\x02\xac", 6), "text"},
    {"QuotesAndBackslashes", REG_SZ, std::string("\"\0\\\0/\0", 6), "text"},
    {"SurrogatePair", REG_EXPAND_SZ, std::string("\x3d\xd8\x00\xde", 4), "text"},
    {"EmptyString", REG_SZ, std::string(), "text"},
    {"MultiString", REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10), nullptr},
    {"LoneHighSurrogate", REG_SZ, std::string("a\0\x00\xd8", 4), "base64"},
    {"LoneLowSurrogate", REG_SZ, std::string("\x00\xdc", 2), "base64"},
    {"OddLengthString", REG_SZ, std::string("abc", 3), "base64"},
    {"ControlCharacters", REG_SZ, [] { std::string s; for (int i = 0; i < 1000; ++i) s.append("\x01\0", 2); return s; }(), "base64"},
    {"NonAsciiLatin", REG_SZ, std::string(2000, '\x01'), "text"},  // U+0101 each
    {"Nuls", REG_SZ, std::string(1000, '\0'), "base64"},
    {"Dword", REG_DWORD, std::string("\x2a\0\0\0", 4), "base64"},
    {"BinaryThatLooksLikeText", REG_BINARY, std::string("a\0b\0", 4), "base64"},
    {"EmptyBinary", REG_BINARY, std::string(), "base64"},
    {"EveryByte", REG_BINARY, [] { std::string s; for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i)); return s; }(), "base64"},
    {"OneByte", REG_BINARY, std::string("\xfe", 1), "base64"},
    {"TwoBytes", REG_BINARY, std::string("\xfe\x01", 2), "base64"},
};

class RegistryFormTest : public RegistryStorageTest, public testing::WithParamInterface<FormRow> {};

TEST_P(RegistryFormTest, StoredInItsFormAndReadBackExactly) {
  const FormRow& row = GetParam();
  Set(L"Value", row.type, row.data);
  EXPECT_EQ(FreshQuery(L"Value"), row.data);
  if (row.form) {
    std::string expected = "\"name\": \"Value\", \"type\": " + std::to_string(row.type) + ", \"" + row.form + "\": ";
    const std::string stored = testing_support::ReadHostFile(File());
    EXPECT_NE(stored.find(expected), std::string::npos) << stored.substr(0, 2000);
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, RegistryFormTest, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<FormRow>& row) { return std::string(row.param.name); });

// The registry file grows by at most half as much again as the bytes written
// (a fixed allowance for the value's name and type).
struct SizeRow {
  const char* name;
  DWORD type;
  std::string (*make)(std::size_t size);
};

std::string AsciiText(std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; bytes.size() < size; ++i) {
    bytes.push_back(static_cast<char>('a' + i % 26));
    bytes.push_back('\0');
  }
  return bytes;
}

std::string KoreanText(std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; bytes.size() < size; ++i) {
    bytes.push_back(static_cast<char>(i % 256));
    bytes.push_back('\xac');
  }
  return bytes;
}

std::string Random(std::size_t size) {
  std::string bytes(size, '\0');
  unsigned state = 2463534242u;
  for (char& c : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state);
  }
  return bytes;
}

const SizeRow kSizes[] = {
    {"AsciiString", REG_SZ, AsciiText},
    {"KoreanString", REG_SZ, KoreanText},
    {"RandomBinary", REG_BINARY, Random},
    {"RandomBytesAsString", REG_SZ, Random},
};

class RegistrySizeTest : public RegistryStorageTest, public testing::WithParamInterface<SizeRow> {};

TEST_P(RegistrySizeTest, FileGrowsInProportionToTheBytesWritten) {
  constexpr std::size_t kBytes = 4 << 20;
  const std::string data = GetParam().make(kBytes);
  Set(L"Small", REG_SZ, std::string("x\0", 2));
  const auto before = std::filesystem::file_size(File());
  Set(L"Large", GetParam().type, data);
  const auto after = std::filesystem::file_size(File());
  EXPECT_LE(after - before, kBytes + kBytes / 2 + 64) << "grew by " << after - before << " for " << kBytes;
  EXPECT_EQ(FreshQuery(L"Large"), data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RegistrySizeTest, testing::ValuesIn(kSizes),
                         [](const testing::TestParamInfo<SizeRow>& row) { return std::string(row.param.name); });

TEST_F(RegistryStorageTest, HexDataOfEarlierMachinesIsStillRead) {
  std::ofstream(File(), std::ios::binary | std::ios::trunc)
      << R"({"keys": [{"path": "HKLM\\SOFTWARE\\Storage", "values": [{"name": "Old", "type": 3, "data": "00fF7a"}]}]})";
  EXPECT_EQ(FreshQuery(L"Old"), std::string("\x00\xff\x7a", 3));
}

}  // namespace
