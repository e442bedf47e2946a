// The installer's registry helpers on the real registry. The installer is a
// 32-bit program; on 64-bit Windows (Wine's 64-bit prefix here) the machine
// values it writes and reads must be those of the 64-bit view, where the
// 64-bit agent reads them, never the 32-bit program's own view
// (Wow6432Node). Each view is checked through the system directly.
#include "system/registry_helpers.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "windows/product/system_facts.h"

namespace {

using namespace testing_windows;

const wchar_t* const kTestKey = L"Software\\BvlTest\\product";

class RegistryHelpers : public ::testing::Test {
 protected:
  void SetUp() override { RemoveTestKeys(); }
  void TearDown() override { RemoveTestKeys(); }
  static void RemoveTestKeys() {
    for (View view : {View::Native64, View::Wow32}) {
      DeleteTree(Hive::Machine, view, L"Software\\BvlTest");
      DeleteValue(Hive::Machine, view, kProductKey, kVersionValue);
    }
    DeleteTree(Hive::User, View::Native64, L"Software\\BvlTest");
  }
};

TEST_F(RegistryHelpers, MachineValuesAreWrittenToThe64BitViewOnly) {
  ASSERT_TRUE(ReadSystemFacts().nativeX64) << "the test prefix is a 64-bit one";
  ASSERT_TRUE(RegWriteString(win::HKEY_LOCAL_MACHINE, kTestKey, L"Text", L"caf\u00e9 \u6e2c"));
  ASSERT_TRUE(RegWriteDword(0x01020304, kTestKey, L"Number"));

  // REG_SZ of 2 × length bytes, no terminator; REG_DWORD little-endian.
  const auto text = ReadValue(Hive::Machine, View::Native64, kTestKey, L"Text");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->type, kRegSz);
  EXPECT_EQ(text->bytes, platform::WideToUtf16Le(L"caf\u00e9 \u6e2c"));
  const auto number = ReadValue(Hive::Machine, View::Native64, kTestKey, L"Number");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, kRegDword);
  EXPECT_EQ(number->bytes, std::string("\x04\x03\x02\x01", 4));
  EXPECT_FALSE(KeyExists(Hive::Machine, View::Wow32, kTestKey)) << "nothing in the 32-bit program's own view";

  std::wstring read;
  ASSERT_TRUE(RegReadString(kTestKey, L"Text", &read));
  EXPECT_EQ(read, L"caf\u00e9 \u6e2c");
}

TEST_F(RegistryHelpers, MachineValuesAreReadFromThe64BitViewUpToTheirFirstNul) {
  ASSERT_TRUE(WriteValue(Hive::Machine, View::Wow32, kTestKey, L"Only32", kRegSz, platform::WideToUtf16Le(L"32")));
  ASSERT_TRUE(WriteValue(Hive::Machine, View::Native64, kTestKey, L"Both", kRegSz, platform::WideToUtf16Le(L"64")));
  ASSERT_TRUE(WriteValue(Hive::Machine, View::Wow32, kTestKey, L"Both", kRegSz, platform::WideToUtf16Le(L"32")));
  ASSERT_TRUE(WriteValue(Hive::Machine, View::Native64, kTestKey, L"Nul", kRegSz,
                         platform::WideToUtf16Le(std::wstring(L"ab\0cd", 5))));

  std::wstring text = L"kept";
  EXPECT_TRUE(RegReadString(kTestKey, L"Both", &text));
  EXPECT_EQ(text, L"64");
  EXPECT_TRUE(RegReadString(kTestKey, L"Nul", &text));
  EXPECT_EQ(text, L"ab");

  // Missing values and keys fail and leave the text as it was.
  text = L"kept";
  EXPECT_FALSE(RegReadString(kTestKey, L"Only32", &text));
  EXPECT_FALSE(RegReadString(kTestKey, L"Absent", &text));
  EXPECT_FALSE(RegReadString(L"Software\\BvlTest\\no such key", L"Text", &text));
  EXPECT_EQ(text, L"kept");
}

TEST_F(RegistryHelpers, TheInstalledVersionIsThe64BitViewsValueOrEmpty) {
  EXPECT_EQ(ReadInstalledVersion(), L"");
  ASSERT_TRUE(WriteValue(Hive::Machine, View::Wow32, kProductKey, kVersionValue, kRegSz,
                         platform::WideToUtf16Le(L"1.0.0.32")));
  EXPECT_EQ(ReadInstalledVersion(), L"");
  ASSERT_TRUE(WriteValue(Hive::Machine, View::Native64, kProductKey, kVersionValue, kRegSz,
                         platform::WideToUtf16Le(L"2.3.4.5")));
  EXPECT_EQ(ReadInstalledVersion(), L"2.3.4.5");
}

TEST_F(RegistryHelpers, UserValuesGoToTheCurrentUsersHive) {
  ASSERT_TRUE(RegWriteString(win::HKEY_CURRENT_USER, kTestKey, L"Text", L"mine"));
  const auto stored = ReadValue(Hive::User, View::Native64, kTestKey, L"Text");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes, platform::WideToUtf16Le(L"mine"));
  EXPECT_FALSE(KeyExists(Hive::Machine, View::Native64, kTestKey));

  std::wstring text = L"kept";
  EXPECT_TRUE(RegReadUserString(kTestKey, L"Text", &text));
  EXPECT_EQ(text, L"mine");
  text = L"kept";
  EXPECT_FALSE(RegReadUserString(kTestKey, L"Absent", &text));
  EXPECT_EQ(text, L"kept");
}

}  // namespace
