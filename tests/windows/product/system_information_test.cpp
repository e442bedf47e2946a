// What the installer learns of the system it runs on (kvutil::KVSystem and
// the WOW64 query) under Wine's default 64-bit prefix, checked against what
// the system says through <windows.h> directly.
//
// Wine differs from Windows here: winecfg writes CurrentMajorVersionNumber
// for every Windows version it emulates, where Windows has it only from
// Windows 10 on, so under a prefix set to Windows 7 the installer would name
// the system Windows 10. The tests take the default prefix (Windows 10),
// whose answers agree with Windows'; the versions before 10 are proven on
// the simulated machine (tests/system/kv_system_test.cpp).
#include "system/kv_system.h"

#include <gtest/gtest.h>

#include <string>

#include "system/wow64.h"
#include "windows/product/system_facts.h"

namespace {

using kvutil::CSystemVersion;
using kvutil::KVSystem;
using namespace testing_windows;

TEST(SystemInformation, TheInstallerRunsUnderWow64OnA64BitSystem) {
  const SystemFacts facts = ReadSystemFacts();
  ASSERT_TRUE(facts.nativeX64) << "the test prefix is a 64-bit one";
  EXPECT_TRUE(facts.wow64Process);
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
  if (named == 100) {
    EXPECT_EQ(version.m_strName, facts.workstation ? L"Windows 10" : L"Windows Server 2016") << system;
  }
  EXPECT_EQ(version.m_nServicePack, facts.servicePackMajor * 10u + facts.servicePackMinor) << system;
  if (facts.servicePackMajor == 0 && facts.servicePackMinor == 0) {
    EXPECT_EQ(version.m_strServicePack, L"");
  }
  // The edition comes from the system's GetProductInfo, for the version the
  // installer named, called through a pointer the installer looks up: a
  // wrong calling convention for it unbalances the 32-bit stack.
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

TEST(SystemInformation, PeBitnessOfThisProgramAndOfA64BitSystemProgram) {
  bool is64Bit = true;
  ASSERT_TRUE(KVSystem::GetPeFileBitness(OwnModulePath(), &is64Bit));
  EXPECT_FALSE(is64Bit) << "this test program is a 32-bit one";
  // Sysnative is the 64-bit system folder as a 32-bit program names it.
  is64Bit = false;
  ASSERT_TRUE(KVSystem::GetPeFileBitness(L"C:\\windows\\sysnative\\notepad.exe", &is64Bit));
  EXPECT_TRUE(is64Bit);
  EXPECT_FALSE(KVSystem::GetPeFileBitness(L"C:\\windows\\no such program.exe", &is64Bit));
}

}  // namespace
