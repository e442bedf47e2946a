// The download step end to end: the agent server and the update host that
// tools/make-update-host.sh generates with the build, served by nginx
// (tools/nginx-fixture.sh), installed onto fresh Windows 10 x64 and Windows 7
// x86 machines with the real checks (MD5 digests, and the driver's
// Authenticode signature on Windows 10).
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/install_engine.h"
#include "platform/sim/machine/machine.h"
#include "settings/installer_context.h"
#include "system/registry_helpers.h"
#include "support/host_files.h"
#include "support/recording_progress.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"
#include "support/update_host_suite.h"
#include "system/file_verification.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadHostFile;

class UpdateHost : public testing_support::UpdateHostSuite<> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_->Error().empty()) << host_->Error();
    SetVerificationPauseForTesting([](unsigned) {});
  }
  void TearDown() override { SetVerificationPauseForTesting(nullptr); }

  static std::string Served(const std::string& path) { return host_->Served(path); }
  static void TrustTestRoot() { testing_support::UpdateHostFixture::TrustTestRoot(); }

  // Runs the download step as the installer does after its server check.
  static bool Install(testing_support::RecordingProgress* progress) {
    InstallerContext context;
    context.m_serverAddress = host_->Server();
    context.QueryAgentRequestUrls(context.m_serverAddress, &context.m_updateAddress);
    InstallEngine engine(context, *progress);
    engine.BuildCatalogue();
    return engine.CreateAndMoveInstalledFile() != 0;
  }
};

struct MachineRow {
  const char* profile;
  const char* folder;  // the update host's architecture folder
};

class UpdateHostInstall : public UpdateHost, public testing::WithParamInterface<MachineRow> {};

TEST_P(UpdateHostInstall, PlacesEveryComponentWhereTheLayoutSays) {
  testing_support::ScopedMachine machine(GetParam().profile);
  TrustTestRoot();
  testing_support::RecordingProgress progress;
  ASSERT_TRUE(Install(&progress));

  const std::string arch = GetParam().folder;
  auto installed = [&](const std::wstring& path) { return ReadHostFile(machine.Host(L"C:\\Program Files\\Brimvale\\" + path)); };
  EXPECT_EQ(installed(L"bvlsvc.exe"), Served(arch + "/3.2.1/bvlsvc.exe"));
  EXPECT_EQ(installed(L"sqlite3.dll"), Served(arch + "/3.45.1/sqlite3.dll"));
  EXPECT_EQ(ReadHostFile(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys")), Served(arch + "/3.2.0/kvppob.sys"));
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale\\kvppob.sys")));
  EXPECT_EQ(installed(L"cef\\locales\\ko.pak"), "ko locale");
  EXPECT_FALSE(installed(L"cef\\swiftshader\\libGLESv2.dll").empty());
  EXPECT_EQ(installed(L"webview\\assets\\img\\logo.svg"), "<svg xmlns=\"http://www.w3.org/2000/svg\"/>");
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale\\updatetemp")));

  // zipproverinfo.dat: the cef.zip line of the manifest, ending in CR LF.
  const std::string manifest = Served(arch + "/proverinfo.dat");
  const auto line = manifest.find("cef.zip ");
  ASSERT_NE(line, std::string::npos);
  const std::string cefLine = manifest.substr(line, manifest.find('\n', line) - line);
  EXPECT_EQ(installed(L"zipproverinfo.dat"), cefLine + "\r\n");

  std::wstring version, webVersion;
  RegReadString(kProductKey, kVersionValue, &version);
  RegReadString(kProductKey, kWebVersionValue, &webVersion);
  EXPECT_EQ(version, L"3.2.1.0");
  EXPECT_EQ(webVersion, L"1.4.2");

  ASSERT_EQ(progress.rows.size(), 17u);
  EXPECT_EQ(progress.rows[0], (testing_support::RecordedRow{L"BrimvaleAgent.exe Download Success", true, 32}));
  EXPECT_EQ(progress.rows[9], (testing_support::RecordedRow{L"cef Download Success", true, 50}));
  EXPECT_EQ(progress.rows[15], (testing_support::RecordedRow{L"sqlite3.dll Download Success", true, 62}));
  EXPECT_EQ(progress.rows[16], (testing_support::RecordedRow{L"proverinfo create Success", false, 68}));
}

INSTANTIATE_TEST_SUITE_P(Machines, UpdateHostInstall,
                         testing::Values(MachineRow{"win10-x64", "x64"}, MachineRow{"win7-x86", "x86"}),
                         [](const testing::TestParamInfo<MachineRow>& info) {
                           std::string name = info.param.profile;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

// Windows 10 checks the driver's signature against the machine's trusted
// roots; Windows 7 installs it on its digest alone.
TEST_F(UpdateHost, DriverSignedByAnUntrustedRootStopsTheStepOnWindows10Only) {
  {
    testing_support::ScopedMachine machine("win10-x64");
    testing_support::RecordingProgress progress;
    EXPECT_FALSE(Install(&progress));
    ASSERT_FALSE(progress.rows.empty());
    EXPECT_EQ(progress.rows.back().text, L"kvppob.sys Download Fail");
    EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys")));
    EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale\\updatetemp\\kvppob.sys")));
  }
  {
    testing_support::ScopedMachine machine("win7-x86");
    testing_support::RecordingProgress progress;
    EXPECT_TRUE(Install(&progress));
    EXPECT_TRUE(fs::exists(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys")));
  }
}

}  // namespace
