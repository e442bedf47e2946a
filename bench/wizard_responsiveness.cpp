// How responsive the wizard stays while an installation from the nginx
// fixture runs: a 5 ms heartbeat on the user-interface thread measures the
// longest time it went without handling events, while the install worker
// reports its rows through the page's blocking sinks. The same installation
// run headless (no wizard) is the peer; the ratio of the install times is the
// wizard's cost.
//
//   bench_wizard_responsiveness
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/complete_view.h"
#include "app/installer_dlg.h"
#include "app/progress_view.h"
#include "bench/bench_support.h"
#include "platform/sim/machine/machine.h"
#include "support/free_port.h"
#include "support/installation_run.h"
#include "system/file_verification.h"

namespace fs = std::filesystem;

namespace {

constexpr double kGapTargetMs = 50.0;

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

bool FreshMachine(const fs::path& folder, const fs::path& roots) {
  if (!bench::UseNewMachine(folder)) return false;
  std::ifstream in(roots, std::ios::binary);
  std::ofstream(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app)
      << std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string tools = std::string(BVL_SOURCE_DIR) + "/tools/";
  char pattern[] = "/tmp/bvl-bench-wizard-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path work = pattern;
  const int port = testing_support::FreePort();
  std::printf("generating the update host and starting nginx on %d...\n", port);
  if (!Shell("bash '" + tools + "make-update-host.sh' '" + (work / "content").string() + "' --port " +
             std::to_string(port) + " --pki '" + (work / "pki").string() + "' --make-pe '" + BVL_BINARY_DIR +
             "/tools/make_pe' >/dev/null") ||
      !Shell("bash '" + tools + "nginx-fixture.sh' start '" + (work / "content").string() + "' " + std::to_string(port))) {
    std::fprintf(stderr, "the fixture did not start\n");
    return 1;
  }
  const std::wstring server = L"http://127.0.0.1:" + std::to_wstring(port);
  SetVerificationPauseForTesting([](unsigned) {});

  // The peer: the same installation with no wizard, its pauses slept.
  if (!FreshMachine(work / "headless", work / "pki" / "trusted-roots.pem")) return 1;
  double headlessSeconds = 0;
  {
    testing_support::InstallationRun run;
    run.realPauses = true;
    run.StartUp(server);
    const auto start = std::chrono::steady_clock::now();
    run.RunWorker();
    headlessSeconds = bench::SecondsSince(start);
    testing_support::InstallationRun::WaitForStartedPrograms();
  }
  std::printf("headless installation: %.3f s\n", headlessSeconds);

  // The wizard: Agree, then the heartbeat until the completion page shows.
  if (!FreshMachine(work / "wizard", work / "pki" / "trusted-roots.pem")) return 1;
  QApplication application(argc, argv);
  double wizardSeconds = 0, longestGapMs = 0;
  int rows = 0;
  bool completed = false;
  {
    CbvlInstallerDlg dialog;
    // The installer context as start-up leaves it after a good server check.
    dialog.m_serverAddress = server;
    dialog.m_serverCheckResult = SERVERCHECK_OK;
    dialog.QueryAgentRequestUrls(server, &dialog.m_updateAddress);
    dialog.OnInitDialog();
    dialog.show();

    QElapsedTimer clock;
    qint64 last = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longestGapMs = std::max(longestGapMs, (now - last) / 1e6);
      last = now;
      if (dialog.m_pCompleteView->isVisible()) {
        completed = true;
        // exit(), not quit(): quit asks the windows to close, and the wizard refuses.
        application.exit(0);
      }
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] { application.exit(1); });
    limit.start(600000);
    QTimer::singleShot(0, [&] {
      clock.start();
      last = 0;
      heartbeat.start();
      dialog.OnBnClickedAgree();
    });
    application.exec();
    wizardSeconds = clock.nsecsElapsed() / 1e9;
    rows = dialog.m_pProgressView ? dialog.m_pProgressView->m_list.count() : 0;
  }

  Shell("bash '" + tools + "nginx-fixture.sh' stop '" + (work / "content").string() + "'");
  std::error_code ignored;
  fs::remove_all(work, ignored);

  std::printf("install time: wizard %.3f s, headless %.3f s, ratio (wizard/headless) %.2f; %d rows\n", wizardSeconds,
              headlessSeconds, headlessSeconds > 0 ? wizardSeconds / headlessSeconds : 0.0, rows);
  std::printf("longest user-interface gap: %.1f ms  target <= %.0f ms%s\n", longestGapMs, kGapTargetMs,
              completed ? "" : "  (the completion page never showed)");
  return completed && longestGapMs <= kGapTargetMs ? 0 : 1;
}
