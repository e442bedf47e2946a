// What the installer learns of the system it runs on (kvutil::KVSystem and
// the WOW64 query) under Wine, checked against what the system says through
// <windows.h> directly.
//
// Wine 8's fresh 64-bit prefix is Windows 7 SP1 (6.1.7601, no
// CurrentMajorVersionNumber). Wine differs from Windows here: winecfg writes
// CurrentMajorVersionNumber for every Windows version it sets, where Windows
// has it from Windows 10 on, so in a prefix that winecfg set to Windows 7 the
// installer names the system Windows 10. The tests follow the value as the
// installer does; every version is proven on the simulated machine
// (tests/system/kv_system_test.cpp).
#include "system/kv_system.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "system/wow64.h"
#include "windows/product/system_facts.h"

namespace {

using kvutil::CSystemVersion;
using kvutil::KVSystem;
using namespace testing_windows;

// Whether this test program is the 32-bit build (the installer's own kind).
constexpr bool kProgramIs32Bit = sizeof(void*) == 4;

TEST(SystemInformation, TheInstallerRunsUnderWow64OnA64BitSystem) {
  const SystemFacts facts = ReadSystemFacts();
  ASSERT_TRUE(facts.nativeX64) << "the test prefix is a 64-bit one";
  EXPECT_EQ(facts.wow64Process, kProgramIs32Bit);
  EXPECT_EQ(RunsUnderWow64(), facts.wow64Process);
}

TEST(SystemInformation, VersionEditionAndArchitectureAreTheSystems) {
  const SystemFacts facts = ReadSystemFacts();
  CSystemVersion version;
  ASSERT_TRUE(KVSystem::GetSystemVersion(&version));
  const std::string system = std::to_string(facts.major) + "." + std::to_string(facts.minor) +
                             (facts.hasCurrentMajorVersionNumber ? " with" : " without") +
                             " CurrentMajorVersionNumber";
  // Windows 10 wherever CurrentMajorVersionNumber exists, else the version
  // the system reports.
  const unsigned named = facts.hasCurrentMajorVersionNumber ? 100u : facts.major * 10u + facts.minor;
  EXPECT_EQ(version.m_nVersion, named) << system;
  const std::map<unsigned, std::wstring> names = {
      {60, L"Windows VISTA"}, {61, L"Windows 7"}, {62, L"Windows 8"}, {63, L"Windows 8.1"},
      {100, facts.workstation ? L"Windows 10" : L"Windows Server 2016"}};
  ASSERT_EQ(names.count(named), 1u) << system;
  EXPECT_EQ(version.m_strName, names.at(named)) << system;
  EXPECT_EQ(version.m_nServicePack, facts.servicePackMajor * 10u + facts.servicePackMinor) << system;
  std::wstring servicePack;
  if (facts.servicePackMajor > 0 || facts.servicePackMinor > 0) {
    servicePack = L"Service Pack " + std::to_wstring(facts.servicePackMajor);
    if (facts.servicePackMinor > 0) servicePack += L"." + std::to_wstring(facts.servicePackMinor);
  }
  EXPECT_EQ(version.m_strServicePack, servicePack) << system;
  // The edition is the one the system's GetProductInfo gives for the
  // version the installer named.
  const unsigned long product =
      ProductType(version.m_nVersion / 10, version.m_nVersion % 10, version.m_nServicePack / 10,
                  version.m_nServicePack % 10);
  ASSERT_NE(product, 0u) << system;
  EXPECT_EQ(version.m_nEdition, product) << system;
  EXPECT_EQ(version.m_strEdition, KVSystem::ProductTypeName(product)) << system;
  EXPECT_NE(version.m_strEdition, L"Not supported") << system;
  // The machine's architecture, not the 32-bit process's.
  EXPECT_EQ(version.m_nArchitecture, 6u);
  EXPECT_EQ(version.m_strArchitecture, L"64bit");
}

TEST(SystemInformation, CurrentMajorVersionNumberMakesTheSystemWindows10) {
  // As winecfg leaves a prefix it sets to Windows 10 (it writes the value in
  // both views; the installer reads its own).
  const SystemFacts facts = ReadSystemFacts();
  if (facts.hasCurrentMajorVersionNumber) GTEST_SKIP() << "the prefix has the value already";
  const View own = kProgramIs32Bit ? View::Wow32 : View::Native64;
  ASSERT_TRUE(WriteValue(Hive::Machine, own, kCurrentVersionKey, L"CurrentMajorVersionNumber", kRegDword,
                         std::string("\x0a\0\0\0", 4)));
  CSystemVersion version;
  const bool recognised = KVSystem::GetSystemVersion(&version);
  DeleteValue(Hive::Machine, own, kCurrentVersionKey, L"CurrentMajorVersionNumber");
  ASSERT_TRUE(recognised);
  EXPECT_EQ(version.m_nVersion, 100u);
  EXPECT_EQ(version.m_strName, facts.workstation ? L"Windows 10" : L"Windows Server 2016");
  EXPECT_EQ(version.m_nEdition, ProductType(10, 0, facts.servicePackMajor, facts.servicePackMinor));
}

TEST(SystemInformation, PeBitnessOfThisProgramAndOfA64BitSystemProgram) {
  bool is64Bit = true;
  ASSERT_TRUE(KVSystem::GetPeFileBitness(OwnModulePath(), &is64Bit));
  EXPECT_EQ(is64Bit, !kProgramIs32Bit);
  // Sysnative is the 64-bit system folder as a 32-bit program names it.
  is64Bit = false;
  ASSERT_TRUE(KVSystem::GetPeFileBitness(
      kProgramIs32Bit ? L"C:\\windows\\sysnative\\notepad.exe" : L"C:\\windows\\system32\\notepad.exe", &is64Bit));
  EXPECT_TRUE(is64Bit);
  EXPECT_FALSE(KVSystem::GetPeFileBitness(L"C:\\windows\\no such program.exe", &is64Bit));
}

}  // namespace
