// A second installer on the same machine: after an installation completed,
// its start-up gate refuses with string 312 before any page; while another
// installation is under way, its worker waits for that one to end and then
// installs over it, so that both report what really happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>

#include "app/installer_dlg.h"
#include "app/resource.h"
#include "engine/install_worker.h"
#include "engine/uninstall_entry.h"
#include "platform/debug_output.h"
#include "platform/devices.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "system/registry_helpers.h"
#include "support/child_program.h"
#include "support/installation_run.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Eventually;
using testing_support::InstallationRun;

TEST(SecondInstaller, RefusesOnceAnInstallationHasCompleted) {
  testing_support::UpdateHostFixture host;
  ASSERT_TRUE(host.Error().empty()) << host.Error();
  testing_support::ScopedMachine machine("win10-x64");
  testing_support::UpdateHostFixture::TrustTestRoot();

  CbvlInstallerDlg before;
  before.ReadInstallationToken(testing_support::InstallerPathFor(host.Server()));
  ASSERT_EQ(before.StartupGateMessageId(), 0);

  testing_support::InstallationRun run;
  run.StartUp(host.Server());
  run.RunWorker();
  ASSERT_EQ(run.progress->rows.back().text, L"Install Success");
  testing_support::InstallationRun::WaitForStartedPrograms();

  CbvlInstallerDlg second;
  second.ReadInstallationToken(testing_support::InstallerPathFor(host.Server()));
  EXPECT_EQ(second.m_serverCheckResult, SERVERCHECK_OK);
  EXPECT_EQ(second.StartupGateMessageId(), IDS_ALREADY_INSTALLED);
}

// The installer as another process of the machine: copied under its
// token-bearing name into the user's downloads and run without a display,
// so that it reports its rows and its ending on standard output.
class InstallerProcess {
 public:
  InstallerProcess(const testing_support::ScopedMachine& machine, const std::wstring& server)
      : path_(machine.Host(testing_support::InstallerPathFor(server))) {
    fs::create_directories(path_.parent_path());
    fs::copy_file(testing_support::BuiltProgram("app/bvlInstaller"), path_, fs::copy_options::overwrite_existing);
  }
  ~InstallerProcess() {
    if (thread_.joinable()) thread_.join();
  }

  void Start() {
    thread_ = std::thread([this] {
      result_ = testing_support::RunChild({path_.string()}, {}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    });
  }
  const testing_support::ChildResult& Finish() {
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  fs::path path_;
  std::thread thread_;
  testing_support::ChildResult result_;
};

const std::wstring kDriverInstalled =
    L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc131\uacf5";
const std::wstring kDriverExists =
    L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc2e4\ud328 1073";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What a working installation on 32-bit Windows holds: the agent's files,
// its service, its tasks, its uninstall entry, and the driver loaded with
// its protection on.
void ExpectWorkingInstallation(const testing_support::ScopedMachine& machine) {
  for (const wchar_t* file : {L"bvlsvc.exe", L"BrimvaleAgent.exe", L"bvlmqtt.exe", L"bvlcore.dll", L"bvludt.exe",
                              L"zipproverinfo.dat", L"cef", L"webview"}) {
    EXPECT_TRUE(fs::exists(machine.Host(std::wstring(L"C:\\Program Files\\Brimvale\\") + file)))
        << testing::PrintToString(std::wstring(file));
  }
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale\\updatetemp")));
  EXPECT_TRUE(testing_support::ServiceNamed(L"bvlsvc").has_value());
  EXPECT_EQ(platform::ListScheduledTasks().size(), 2u);
  std::wstring name;
  EXPECT_TRUE(RegReadString(kUninstallKey, L"DisplayName", &name));
  std::wstring version;
  EXPECT_TRUE(RegReadString(kProductKey, kVersionValue, &version));
  auto driver = testing_support::ServiceNamed(L"kvppob");
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->state, win::SERVICE_RUNNING);
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
  EXPECT_FALSE(testing_support::DebugLogHas(L"[brimvale] install Fail"));
}

TEST(SecondInstaller, WaitsForTheInstallationUnderWayAndThenInstallsOverIt) {
  testing_support::UpdateHostFixture host;
  ASSERT_TRUE(host.Error().empty()) << host.Error();
  testing_support::ScopedMachine machine("win7-x86");
  testing_support::UpdateHostFixture::TrustTestRoot();

  InstallerProcess first(machine, host.Server());
  first.Start();
  // The first installer's worker is under way once its staging folder exists.
  ASSERT_TRUE(Eventually([&] { return fs::exists(machine.Host(L"C:\\Program Files\\Brimvale\\updatetemp")); }, 60));

  InstallationRun second;
  second.StartUp(host.Server());
  second.RunWorker();
  const testing_support::ChildResult& firstRun = first.Finish();
  InstallationRun::WaitForStartedPrograms();

  ASSERT_TRUE(firstRun.exited) << firstRun.errors;
  EXPECT_TRUE(Contains(firstRun.output, "start-up gate:       passed")) << firstRun.output;
  EXPECT_TRUE(Contains(firstRun.output, "  row: Install Success  [100%]")) << firstRun.output;
  EXPECT_FALSE(Contains(firstRun.output, "message box:")) << firstRun.output;
  EXPECT_EQ(second.checkpoint, checkpoint::kInstallSuccess);
  EXPECT_EQ(second.wizard->calls, std::vector<std::wstring>{L"completion page"});
  ASSERT_FALSE(second.progress->rows.empty());
  EXPECT_EQ(second.progress->rows.back().text, L"Install Success");
  ExpectWorkingInstallation(machine);

  // The second worker waited, then ran its driver step over the first one's
  // driver: the first created the service, the second found it.
  const std::vector<std::wstring> log = platform::ReadDebugLog();
  const auto line = [&](const std::wstring& text) { return std::find(log.begin(), log.end(), text) - log.begin(); };
  const auto waited = line(L"[Brimvale] BVLInstall : Waiting For Another Installation");
  const auto created = line(kDriverInstalled);
  const auto found = line(kDriverExists);
  EXPECT_LT(waited, created);
  EXPECT_LT(created, found);
  EXPECT_LT(found, static_cast<std::ptrdiff_t>(log.size()));
  EXPECT_EQ(std::count(log.begin(), log.end(), kDriverInstalled), 1);
}

}  // namespace
