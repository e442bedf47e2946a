// The download step end to end: the agent server and the update host that
// tools/make-update-host.sh generates, served by nginx (tools/nginx-fixture.sh),
// installed onto fresh Windows 10 x64 and Windows 7 x86 machines with the real
// checks (MD5 digests, and the driver's Authenticode signature on Windows 10).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/install_engine.h"
#include "platform/machine.h"
#include "settings/installer_context.h"
#include "settings/registry_helpers.h"
#include "support/recording_progress.h"
#include "support/free_port.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"
#include "system/file_verification.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ShellQuote;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Tool(const std::string& name) { return ShellQuote(std::string(BVL_SOURCE_DIR) + "/tools/" + name); }

// One content root and one nginx for the whole suite: generating the signed
// driver and the archives takes a few seconds.
class UpdateHost : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const auto& pki = testing_support::TestPki::Get();
    if (!pki.Ready()) {
      setupError_ = new std::string(pki.Error());
      return;
    }
    root_ = new fs::path(testing_support::MakeTempFolder("update-host"));
    port_ = testing_support::FreePort();
    std::string output;
    const std::string generate = "bash " + Tool("make-update-host.sh") + " " + ShellQuote(root_->string()) +
                                 " --port " + std::to_string(port_) + " --pki " + ShellQuote(pki.Folder().string()) +
                                 " --make-pe " + ShellQuote(std::string(BVL_BINARY_DIR) + "/tools/make_pe");
    if (testing_support::RunCommand(generate, &output) != 0) {
      setupError_ = new std::string("make-update-host.sh failed: " + output);
      return;
    }
    const std::string start =
        "bash " + Tool("nginx-fixture.sh") + " start " + ShellQuote(root_->string()) + " " + std::to_string(port_);
    if (testing_support::RunCommand(start, &output) != 0) {
      setupError_ = new std::string("nginx-fixture.sh start failed: " + output);
    }
  }
  static void TearDownTestSuite() {
    if (root_ != nullptr) {
      std::string output;
      testing_support::RunCommand("bash " + Tool("nginx-fixture.sh") + " stop " + ShellQuote(root_->string()), &output);
      std::error_code ignored;
      fs::remove_all(*root_, ignored);
    }
    delete root_;
    delete setupError_;
    root_ = nullptr;
    setupError_ = nullptr;
  }

  void SetUp() override {
    ASSERT_EQ(setupError_, nullptr) << *setupError_;
    SetVerificationPauseForTesting([](unsigned) {});
  }
  void TearDown() override { SetVerificationPauseForTesting(nullptr); }

  static std::wstring Server() {
    const std::string text = "http://127.0.0.1:" + std::to_string(port_);
    return std::wstring(text.begin(), text.end());
  }
  // The content root's copy of a file served below /update/.
  static std::string Served(const std::string& path) { return Slurp(*root_ / "update" / path); }

  static void TrustTestRoot() {
    std::ofstream(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app)
        << Slurp(testing_support::TestPki::Get().TrustedRoots());
  }

  // Runs the download step as the installer does after its server check.
  static bool Install(testing_support::RecordingProgress* progress) {
    InstallerContext context;
    context.m_serverAddress = Server();
    context.QueryAgentRequestUrls(context.m_serverAddress, &context.m_updateAddress);
    InstallEngine engine(context, *progress);
    engine.BuildCatalogue();
    return engine.CreateAndMoveInstalledFile() != 0;
  }

  static fs::path* root_;
  static std::string* setupError_;
  static int port_;
};

fs::path* UpdateHost::root_ = nullptr;
std::string* UpdateHost::setupError_ = nullptr;
int UpdateHost::port_ = 0;

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
  auto installed = [&](const std::wstring& path) { return Slurp(machine.Host(L"C:\\Program Files\\Brimvale\\" + path)); };
  EXPECT_EQ(installed(L"bvlsvc.exe"), Served(arch + "/3.2.1/bvlsvc.exe"));
  EXPECT_EQ(installed(L"sqlite3.dll"), Served(arch + "/3.45.1/sqlite3.dll"));
  EXPECT_EQ(Slurp(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys")), Served(arch + "/3.2.0/kvppob.sys"));
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
