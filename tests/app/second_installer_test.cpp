// A second installer on a machine where an installation completed: its
// start-up gate refuses with string 312 before any page.
#include <gtest/gtest.h>

#include "app/installer_dlg.h"
#include "support/installation_run.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"

namespace {

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
  EXPECT_EQ(second.StartupGateMessageId(), 312);
}

}  // namespace
