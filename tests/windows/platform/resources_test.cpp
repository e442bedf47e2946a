// Module resources on the real system, read from a system module opened as
// a data file: kernel32.dll carries a version resource on every Windows
// (and under Wine).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/resources.h"
#include "platform/version.h"

namespace {

using namespace win;

const LPCWSTR kVersionType = MAKEINTRESOURCEW(16);  // RT_VERSION

TEST(ResourcesTest, ADataModulesVersionResourceIsFoundLoadedAndSized) {
  HMODULE module = LoadLibraryExW(L"kernel32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  // The neutral language asks for the system's choice among those there are.
  HRSRC found = FindResourceExW(module, kVersionType, MAKEINTRESOURCEW(1), LANG_NEUTRAL);
  ASSERT_NE(found, nullptr);
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  ASSERT_NE(loaded, nullptr);
  const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
  ASSERT_NE(data, nullptr);
  // VS_VERSIONINFO: its length, the fixed part's length (52), its type
  // (binary), then its key.
  ASSERT_GE(size, 6u + 32u);
  std::uint16_t header[3];
  std::memcpy(header, data, sizeof header);
  EXPECT_LE(header[0], size);
  EXPECT_GT(header[0], 6u + 32u);
  EXPECT_EQ(header[1], 52u);
  EXPECT_EQ(header[2], 0u);
  std::wstring key;
  for (std::size_t at = 6; at + 1 < size; at += 2) {
    const wchar_t c = static_cast<wchar_t>(data[at] | data[at + 1] << 8);
    if (c == 0) break;
    key.push_back(c);
  }
  EXPECT_EQ(key, L"VS_VERSION_INFO");

  EXPECT_EQ(FindResourceExW(module, kVersionType, MAKEINTRESOURCEW(999), LANG_NEUTRAL), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(FindResourceExW(module, MAKEINTRESOURCEW(0x7ABC), MAKEINTRESOURCEW(1), LANG_NEUTRAL), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(FindResourceExW(module, nullptr, MAKEINTRESOURCEW(1), LANG_NEUTRAL), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadResource(module, nullptr), nullptr);
  EXPECT_EQ(SizeofResource(module, nullptr), 0u);

  // Only a module opened as a data file is released as one, once per
  // opening (the system may hand out the loaded kernel32's own handle).
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  ASSERT_NE(ntdll, nullptr);
  EXPECT_FALSE(platform::FreeResourceModule(ntdll));
  EXPECT_FALSE(platform::FreeResourceModule(nullptr));
  EXPECT_TRUE(platform::FreeResourceModule(module));
  EXPECT_FALSE(platform::FreeResourceModule(module));
}

TEST(ResourcesTest, TheProgramsOwnModuleIsTheDefault) {
  HMODULE program = GetModuleHandleW(nullptr);
  ASSERT_NE(program, nullptr);
  // This test program has no version resource, unlike kernel32.
  EXPECT_EQ(FindResourceExW(nullptr, kVersionType, MAKEINTRESOURCEW(1), LANG_NEUTRAL), nullptr);
  EXPECT_EQ(FindResourceExW(program, kVersionType, MAKEINTRESOURCEW(1), LANG_NEUTRAL), nullptr);
  HMODULE missing = LoadLibraryExW(L"C:\\no-such-folder\\none.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_EQ(missing, nullptr);
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

}  // namespace
