// kvutil::KVSystem on simulated machines: version and service pack per
// profile, editions, PE machine types, explorer impersonation, process lookup
// and termination of real child processes, conversions.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/files/file_marks.h"
#include "platform/sim/machine/identity.h"
#include "platform/sim/images/pe_image.h"
#include "platform/process.h"
#include "support/scoped_machine.h"
#include "system/kv_system.h"

namespace {

using kvutil::CSystemVersion;
using kvutil::KVSystem;

struct VersionRow {
  const char* profile;
  bool recognised;
  unsigned version;
  const wchar_t* name;
  unsigned servicePack;
  const wchar_t* servicePackText;
  unsigned architecture;
  const wchar_t* architectureText;
};

class SystemVersionTest : public ::testing::TestWithParam<VersionRow> {};

TEST_P(SystemVersionTest, ProfileIsNamedAsWindowsNamesIt) {
  const VersionRow& row = GetParam();
  testing_support::ScopedMachine machine(row.profile);
  CSystemVersion version;
  ASSERT_EQ(KVSystem::GetSystemVersion(&version), row.recognised);
  EXPECT_EQ(version.m_nVersion, row.version);
  EXPECT_EQ(version.m_strName, row.name);
  EXPECT_EQ(version.m_nServicePack, row.servicePack);
  EXPECT_EQ(version.m_strServicePack, row.servicePackText);
  EXPECT_EQ(version.m_nArchitecture, row.architecture);
  EXPECT_EQ(version.m_strArchitecture, row.architectureText);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, SystemVersionTest,
    ::testing::Values(VersionRow{"winxp-sp2-x86", true, 51, L"Windows XP", 20, L"Service Pack 2", 3, L"32bit"},
                      VersionRow{"winxp-sp3-x86", true, 51, L"Windows XP", 30, L"Service Pack 3", 3, L"32bit"},
                      VersionRow{"win7-x86", true, 61, L"Windows 7", 10, L"Service Pack 1", 3, L"32bit"},
                      VersionRow{"win81-x64", true, 63, L"Windows 8.1", 0, L"", 6, L"64bit"},
                      VersionRow{"win10-x86", true, 100, L"Windows 10", 0, L"", 3, L"32bit"},
                      VersionRow{"win10-x64", true, 100, L"Windows 10", 0, L"", 6, L"64bit"},
                      VersionRow{"unknown-os", false, 0, L"", 0, L"", 0, L""}));

// The version a fresh machine of `profile` reports; `recognised` tells
// whether GetSystemVersion succeeded.
CSystemVersion VersionOn(const platform::Profile& profile, bool* recognised) {
  testing_support::ScopedMachine machine(profile);
  CSystemVersion version;
  *recognised = KVSystem::GetSystemVersion(&version);
  return version;
}

TEST(SystemVersionDetailTest, ServicePackMinorAndEditions) {
  bool recognised = false;
  platform::Profile p = *platform::FindProfile("winxp-sp2-x86");
  p.servicePackMinor = 1;
  p.personalSuite = true;
  CSystemVersion version = VersionOn(p, &recognised);
  ASSERT_TRUE(recognised);
  EXPECT_EQ(version.m_nServicePack, 21u);
  EXPECT_EQ(version.m_strServicePack, L"Service Pack 2.1");
  EXPECT_EQ(version.m_nEdition, 2u);
  EXPECT_EQ(version.m_strEdition, L"Home Edition");

  p.mediaCenter = true;
  version = VersionOn(p, &recognised);
  ASSERT_TRUE(recognised);
  EXPECT_EQ(version.m_nEdition, 87u);
  EXPECT_EQ(version.m_strEdition, L"Media Center Edition");

  platform::Profile win10 = *platform::FindProfile("win10-x64");
  win10.productType = 161;
  version = VersionOn(win10, &recognised);
  ASSERT_TRUE(recognised);
  EXPECT_EQ(version.m_strEdition, L"Pro for Workstations");

  // A server with the Windows 10 value is named as a server, so the
  // signature check meant for Windows 10 does not apply to it.
  win10.workstation = false;
  version = VersionOn(win10, &recognised);
  ASSERT_TRUE(recognised);
  EXPECT_EQ(version.m_nVersion, 100u);
  EXPECT_EQ(version.m_strName, L"Windows Server 2016");
}

TEST(SystemVersionDetailTest, RegistryOpenFailureIsLoggedAndWindows10IsMissed) {
  testing_support::ScopedMachine machine("win10-x64");
  platform::InjectFault({"RegOpenKeyEx", L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", win::ERROR_ACCESS_DENIED});
  CSystemVersion version;
  ASSERT_TRUE(KVSystem::GetSystemVersion(&version));
  EXPECT_EQ(version.m_strName, L"Windows 8");
  auto log = platform::ReadDebugLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), L"GetSystemVersion routine some error occurred. ErrorCode(1)");
}

TEST(PeFileBitnessTest, MachineTypesOfRealImages) {
  testing_support::ScopedMachine machine;
  struct Row {
    platform::PeMachine machine;
    bool known;
    bool is64Bit;
  } rows[] = {{platform::PeMachine::I386, true, false},
              {platform::PeMachine::AMD64, true, true},
              {platform::PeMachine::IA64, true, true},
              {platform::PeMachine::ARM, false, false},
              {platform::PeMachine::ARM64, false, false}};
  for (const Row& row : rows) {
    std::ofstream(machine.Host(L"C:\\image.exe"), std::ios::binary) << platform::BuildPeImage(row.machine);
    bool is64Bit = !row.is64Bit;
    EXPECT_EQ(KVSystem::GetPeFileBitness(L"C:\\image.exe", &is64Bit), row.known) << platform::PeMachineName(row.machine);
    if (row.known) {
      EXPECT_EQ(is64Bit, row.is64Bit);
    }
  }
  std::string image = platform::BuildPeImage(platform::PeMachine::AMD64);
  bool is64Bit = false;
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{0x40}, std::size_t{0x82}}) {
    std::ofstream(machine.Host(L"C:\\cut.exe"), std::ios::binary) << image.substr(0, cut);
    EXPECT_FALSE(KVSystem::GetPeFileBitness(L"C:\\cut.exe", &is64Bit)) << cut;
  }
  // e_lfanew pointing past the end, a missing file, a non-PE file.
  std::string farOffset = image;
  farOffset[0x3C] = '\xFF';
  farOffset[0x3F] = '\x7F';
  std::ofstream(machine.Host(L"C:\\far.exe"), std::ios::binary) << farOffset;
  EXPECT_FALSE(KVSystem::GetPeFileBitness(L"C:\\far.exe", &is64Bit));
  EXPECT_FALSE(KVSystem::GetPeFileBitness(L"C:\\missing.exe", &is64Bit));
  std::ofstream(machine.Host(L"C:\\text.exe")) << std::string(200, 'x');
  EXPECT_FALSE(KVSystem::GetPeFileBitness(L"C:\\text.exe", &is64Bit));
}

TEST(UserContextTest, EncryptedOrUnreachableFilesNeedTheUsersIdentity) {
  testing_support::ScopedMachine machine;
  std::ofstream(machine.Host(L"C:\\plain.bin")) << "x";
  std::ofstream(machine.Host(L"C:\\secret.bin")) << "x";
  ASSERT_TRUE(platform::MarkEncrypted(L"C:\\secret.bin"));
  EXPECT_FALSE(KVSystem::NeedsUserContext(L"C:\\plain.bin"));
  EXPECT_TRUE(KVSystem::NeedsUserContext(L"C:\\secret.bin"));
  EXPECT_TRUE(KVSystem::NeedsUserContext(L"C:\\no\\such\\folder\\x.bin"));  // ERROR_PATH_NOT_FOUND
  EXPECT_FALSE(KVSystem::NeedsUserContext(L"C:\\missing.bin"));             // ERROR_FILE_NOT_FOUND
  platform::SetThreadImpersonation("user");
  EXPECT_FALSE(KVSystem::NeedsUserContext(L"C:\\secret.bin"));  // already impersonating
  platform::SetThreadImpersonation("");
}

TEST(ExplorerTest, SmallestExplorerIdIsImpersonatedAndHkcuFollows) {
  testing_support::ScopedMachine machine;
  std::set<win::DWORD> ids;
  ASSERT_TRUE(KVSystem::FindExplorerProcesses(&ids));
  ASSERT_EQ(ids.size(), 1u);
  // A second session's shell with a smaller id wins.
  win::DWORD other = platform::AddResidentProcess(L"C:\\Windows\\EXPLORER.EXE", "second", 0, 100);
  ASSERT_TRUE(KVSystem::FindExplorerProcesses(&ids));
  EXPECT_EQ(*ids.begin(), other);
  EXPECT_TRUE(KVSystem::FindExplorerProcesses());
  ASSERT_TRUE(KVSystem::ImpersonateExplorerUser());
  EXPECT_EQ(platform::ThreadUser(), "second");
  win::RevertToSelf();
  EXPECT_EQ(platform::ThreadUser(), "Administrator");
}

TEST(ExplorerTest, NoShellMeansNoImpersonation) {
  platform::Profile p = *platform::FindProfile("win10-x64");
  p.explorerRunning = false;
  testing_support::ScopedMachine machine(p);
  EXPECT_FALSE(KVSystem::FindExplorerProcesses());
  EXPECT_FALSE(KVSystem::ImpersonateExplorerUser());
  platform::ClearFaults();
  EXPECT_FALSE(platform::ThreadImpersonates());
}

// A real program on drive C: that runs until it is ended.
std::wstring InstallSleeper(const testing_support::ScopedMachine& machine, const std::wstring& name) {
  std::filesystem::create_directories(machine.Host(L"C:\\Apps"));
  std::wstring path = L"C:\\Apps\\" + name;
  std::filesystem::copy_file("/bin/sleep", machine.Host(L"C:\\Apps") / std::filesystem::path(name).string(),
                             std::filesystem::copy_options::overwrite_existing);
  return path;
}

TEST(ProcessTest, TerminateByNameEndsRealChildrenIgnoringCase) {
  testing_support::ScopedMachine machine;
  std::wstring agent = InstallSleeper(machine, L"agent.exe");
  std::wstring other = InstallSleeper(machine, L"other.exe");
  win::DWORD first = platform::StartProcess(agent, L"agent.exe 30");
  win::DWORD second = platform::StartProcess(agent, L"agent.exe 30");
  win::DWORD bystander = platform::StartProcess(other, L"other.exe 30");
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  ASSERT_NE(bystander, 0u);

  std::wstring path;
  ASSERT_TRUE(KVSystem::GetProcessImagePath(first, &path));
  EXPECT_EQ(path, L"C:\\Apps\\agent.exe");
  win::DWORD parent = 0;
  std::wstring parentPath;
  ASSERT_TRUE(KVSystem::GetParentProcess(first, &parent, &parentPath));
  EXPECT_EQ(parent, win::GetCurrentProcessId());

  KVSystem::TerminateProcessesByName(L"Agent.EXE");
  EXPECT_TRUE(platform::WaitForProcess(first, 5000).has_value());
  EXPECT_TRUE(platform::WaitForProcess(second, 5000).has_value());
  EXPECT_TRUE(platform::FindProcess(bystander)->running);
  EXPECT_FALSE(KVSystem::GetProcessImagePath(first, &path));
  // The installer never ends itself, even when asked for its own name.
  std::wstring self;
  ASSERT_TRUE(KVSystem::GetProcessImagePath(win::GetCurrentProcessId(), &self));
  KVSystem::TerminateProcessesByName(self.substr(self.rfind(L'\\') + 1));
  EXPECT_TRUE(platform::FindProcess(win::GetCurrentProcessId())->running);
  KVSystem::TerminateProcessesByName(L"other.exe");
  EXPECT_TRUE(platform::WaitForProcess(bystander, 5000).has_value());
}

TEST(ProcessTest, OnlyTheFirst1024ProcessesAreExamined) {
  testing_support::ScopedMachine machine;
  platform::AddResidentProcesses(L"C:\\Windows\\svc.exe", "SYSTEM", 1030);
  // The last explorer stands beyond the first 1024 ids.
  platform::AddResidentProcess(L"C:\\Windows\\explorer.exe", "late", 0, 900000);
  std::set<win::DWORD> ids;
  ASSERT_TRUE(KVSystem::FindExplorerProcesses(&ids));
  EXPECT_EQ(ids.count(900000), 0u);
}

TEST(PathTest, DevicePathsShortNamesAndDriversFolder) {
  testing_support::ScopedMachine machine;
  std::wstring path;
  ASSERT_TRUE(KVSystem::DevicePathToDrivePath(L"\\Device\\HarddiskVolume2\\Windows\\x.exe", &path));
  EXPECT_EQ(path, L"C:\\Windows\\x.exe");
  EXPECT_FALSE(KVSystem::DevicePathToDrivePath(L"\\Device\\HarddiskVolume2X\\y", &path));
  EXPECT_FALSE(KVSystem::DevicePathToDrivePath(L"\\Device\\Other\\y", &path));

  std::filesystem::create_directories(machine.Host(L"C:\\Program Files") / "Brimvale Agent");
  std::wstring logical;
  EXPECT_EQ(KVSystem::GetPhysicalPathToLogicalPath(L"c:/program files/brimvale agent", &logical),
            std::wstring(L"c:\\Program Files\\Brimvale Agent").size());
  EXPECT_EQ(logical, L"c:\\Program Files\\Brimvale Agent");
  EXPECT_EQ(KVSystem::GetPhysicalPathToLogicalPath(L"C:\\nowhere", &logical), 0u);
  EXPECT_EQ(platform::ReadDebugLog().back(), L"GetPhysicalPathToLogicalPath routine some error occurred. ErrorCode(1)");

  EXPECT_EQ(KVSystem::GetDriversPath(L"kvppob.sys"), L"C:\\Windows\\system32\\drivers\\kvppob.sys");
}

TEST(ConversionTest, CodePagesRoundTripAndFailuresGiveEmptyText) {
  testing_support::ScopedMachine machine;
  EXPECT_EQ(KVSystem::ConvertToMultiByte(L"http://a", win::CP_THREAD_ACP), "http://a");
  EXPECT_EQ(KVSystem::ConvertToMultiByte(L"", win::CP_ACP), "");
  EXPECT_EQ(KVSystem::ConvertToWide("\xb1\xe8", win::CP_ACP), L"\uae40");  // a Korean syllable in CP949
  EXPECT_EQ(KVSystem::ConvertToWide("", win::CP_UTF8), L"");
  EXPECT_EQ(KVSystem::ConvertToMultiByte(L"x", 12345), "");
}

}  // namespace
