// The registry of the real system from the 32-bit installer: the two WOW64
// views, keys reached below an open key staying in its view, values kept
// byte for byte, the buffer protocol and the deletion of trees.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/version.h"

namespace {

using namespace win;

const wchar_t kSoftware[] = L"Software";
const wchar_t kTopic[] = L"BvlTest\\registry";
const wchar_t kTestKey[] = L"Software\\BvlTest\\registry";

bool RunsUnderWow64() {
  SYSTEM_INFO native;
  GetNativeSystemInfo(&native);
  return sizeof(void*) == 4 && native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

HKEY Create(HKEY root, const std::wstring& subKey, REGSAM view) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr), 0)
      << platform::WideToUtf8(subKey);
  return key;
}

void SetText(HKEY key, const std::wstring& name, const std::wstring& text) {
  const std::string bytes = platform::WideToUtf16Le(text);
  ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            0);
}

// The value's bytes, or "<missing>" when the key or value cannot be read.
std::string Read(HKEY root, const std::wstring& subKey, REGSAM view, const std::wstring& name, DWORD* type = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != 0) return "<missing>";
  DWORD size = 0;
  std::string bytes = "<missing>";
  if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) == 0) {
    bytes.assign(size, '\0');
    if (RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size) != 0) {
      bytes = "<missing>";
    }
  }
  RegCloseKey(key);
  return bytes;
}

bool KeyExists(HKEY root, const std::wstring& subKey, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != 0) return false;
  RegCloseKey(key);
  return true;
}

// Each test starts and ends without the test keys in either view, deleted
// leaf by leaf below HKLM\Software opened in each view, so that the
// cleaning needs no tree deletion.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }

  static void Clean() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      HKEY software = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSoftware, 0, KEY_ALL_ACCESS | view, &software) == 0) {
        DeleteAll(software, kTopic);
        RegCloseKey(software);
      }
    }
    DeleteAll(HKEY_CURRENT_USER, kTestKey);
  }

  // Depth-first by names known to the tests.
  static void DeleteAll(HKEY root, const std::wstring& key) {
    for (const wchar_t* child : {L"\\child\\grandchild", L"\\child", L"\\leaf"}) {
      RegDeleteKeyW(root, key + child);
    }
    RegDeleteKeyW(root, key);
  }
};

TEST_F(RegistryTest, AThirtyTwoBitProcessSeesItsOwnViewUnlessItAsksForTheSixtyFourBitOne) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
  HKEY native = Create(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY);
  HKEY redirected = Create(HKEY_LOCAL_MACHINE, kTestKey, 0);
  SetText(native, L"view", L"64");
  SetText(native, L"only64", L"x");
  SetText(redirected, L"view", L"32");
  RegCloseKey(native);
  RegCloseKey(redirected);

  EXPECT_EQ(platform::Utf16LeToWide(Read(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY, L"view")), L"64");
  EXPECT_EQ(platform::Utf16LeToWide(Read(HKEY_LOCAL_MACHINE, kTestKey, 0, L"view")), L"32");
  EXPECT_EQ(platform::Utf16LeToWide(Read(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_32KEY, L"view")), L"32");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kTestKey, 0, L"only64"), "<missing>");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\BvlTest\\registry", KEY_WOW64_64KEY, L"view"),
            platform::WideToUtf16Le(L"32"));

  EXPECT_EQ(Upper(platform::ResolveRegistryPath(HKEY_LOCAL_MACHINE, kTestKey, 0)),
            L"HKLM\\SOFTWARE\\WOW6432NODE\\BVLTEST\\REGISTRY");
  EXPECT_EQ(Upper(platform::ResolveRegistryPath(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY)),
            L"HKLM\\SOFTWARE\\BVLTEST\\REGISTRY");
  EXPECT_EQ(platform::ResolveRegistryPath(HKEY_LOCAL_MACHINE, L"\\", 0), L"HKLM");
  // An open key is named where the system keeps it.
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_QUERY_VALUE, &opened), 0);
  EXPECT_EQ(Upper(platform::ResolveRegistryPath(opened, L"\\sub\\", 0)),
            L"HKLM\\SOFTWARE\\WOW6432NODE\\BVLTEST\\REGISTRY\\SUB");
  RegCloseKey(opened);
  EXPECT_EQ(Upper(platform::ResolveRegistryPath(HKEY_CURRENT_USER, L"Software", 0)).compare(0, 4, L"HKU\\"), 0);
}

TEST_F(RegistryTest, KeysBelowAnOpenKeyStayInItsView) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
  // The 32-bit twin, which nothing below may touch.
  HKEY twin = Create(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\child", 0);
  SetText(twin, L"view", L"32");
  RegCloseKey(twin);

  // Windows does not carry a handle's view over to the keys opened below it
  // (the flag has to be given again each time); Wine does, so under Wine
  // this passes with the system's calls alone.
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSoftware, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &software), 0);
  HKEY child = Create(software, std::wstring(kTopic) + L"\\child\\grandchild", 0);
  SetText(child, L"view", L"64");
  RegCloseKey(child);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\child\\grandchild", KEY_WOW64_64KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\child\\grandchild", KEY_WOW64_32KEY));
  EXPECT_EQ(platform::Utf16LeToWide(Read(software, std::wstring(kTopic) + L"\\child\\grandchild", 0, L"view")), L"64");

  HKEY leaf = Create(software, std::wstring(kTopic) + L"\\leaf", 0);
  RegCloseKey(leaf);
  EXPECT_EQ(RegDeleteKeyW(software, std::wstring(kTopic) + L"\\leaf"), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\leaf", KEY_WOW64_64KEY));

  // As the product key goes on rollback: its parent opened in the 64-bit
  // view, the tree deleted below it.
  EXPECT_EQ(SHDeleteKeyW(software, kTopic), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY));
  EXPECT_EQ(
      platform::Utf16LeToWide(Read(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\child", KEY_WOW64_32KEY, L"view")),
      L"32");
  EXPECT_EQ(SHDeleteKeyW(software, kTopic), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  RegCloseKey(software);
}

TEST_F(RegistryTest, ValuesComeBackWithTheirTypeAndExactBytes) {
  HKEY key = Create(HKEY_CURRENT_USER, kTestKey, 0);
  const DWORD number = 0xDEADBEEF;
  const struct {
    const wchar_t* name;
    DWORD type;
    std::string bytes;
  } rows[] = {
      {L"Multi", REG_MULTI_SZ, platform::WideToUtf16Le(std::wstring(L"one\0two\0\0", 9))},
      {L"Binary", REG_BINARY, std::string("\x00\xff\x10\x00", 4)},
      {L"Number", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)},
      // No terminator written, none read back.
      {L"Text", REG_SZ, platform::WideToUtf16Le(L"A\u00e9\u20ac")},
      {L"Empty", REG_SZ, std::string()},
      {L"", REG_SZ, platform::WideToUtf16Le(L"default")},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(RegSetValueExW(key, row.name, 0, row.type, reinterpret_cast<const BYTE*>(row.bytes.data()),
                             static_cast<DWORD>(row.bytes.size())),
              0);
  }
  RegCloseKey(key);
  for (const auto& row : rows) {
    DWORD type = 99;
    EXPECT_EQ(Read(HKEY_CURRENT_USER, kTestKey, 0, row.name, &type), row.bytes) << platform::WideToUtf8(row.name);
    EXPECT_EQ(type, row.type) << platform::WideToUtf8(row.name);
  }
}

TEST_F(RegistryTest, ASmallBufferGetsMoreDataAndTheSizeNeeded) {
  HKEY key = Create(HKEY_CURRENT_USER, kTestKey, 0);
  SetText(key, L"Name", L"Brim");  // 8 bytes
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 8u);
  BYTE small[4] = {};
  size = sizeof small;
  type = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, &type, small, &size), static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(type, REG_SZ);
  BYTE exact[8] = {};
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, nullptr, exact, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), 8), platform::WideToUtf16Le(L"Brim"));

  EXPECT_EQ(RegQueryValueExW(key, L"Other", nullptr, nullptr, nullptr, &size),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(key, L"Name"), 0);
  EXPECT_EQ(RegDeleteValueW(key, L"Name"), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  RegCloseKey(key);

  HKEY missing = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(kTestKey) + L"\\nothing", 0, KEY_READ, &missing),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, nullptr),
            static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

TEST_F(RegistryTest, ALeafDeleteRefusesParentsAndTheTreeDeleteTakesAll) {
  RegCloseKey(Create(HKEY_CURRENT_USER, std::wstring(kTestKey) + L"\\child\\grandchild", 0));
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  // An empty subkey names no key below `key`: nothing is deleted.
  EXPECT_EQ(RegDeleteKeyW(key, L""), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(SHDeleteKeyW(key, L"\\"), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::wstring(kTestKey) + L"\\child\\grandchild", 0));
  RegCloseKey(key);

  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, std::wstring(kTestKey) + L"\\child"),
            static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, kTestKey), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey, 0));
  EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, kTestKey), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));

  ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, kTestKey, &key), 0);
  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
}

}  // namespace
