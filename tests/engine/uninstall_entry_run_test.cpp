// The uninstall entry step inside a whole installation against the update
// host: a value the registry does not take shows as a failed row, and the
// installation goes on to its end as with the other reporting steps.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/install_worker.h"
#include "engine/uninstall_entry.h"
#include "platform/sim/machine/faults.h"
#include "system/registry_helpers.h"
#include "support/installation_run.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"
#include "support/update_host_suite.h"

namespace {

using testing_support::InstallationRun;
using testing_support::RecordedRow;

class UninstallEntryInRun : public testing_support::UpdateHostSuite<> {
 protected:
};

TEST_F(UninstallEntryInRun, AValueTheRegistryDoesNotTakeShowsAFailedRowAndTheRunGoesOn) {
  testing_support::ScopedMachine machine("win10-x64");
  testing_support::UpdateHostFixture::TrustTestRoot();
  InstallationRun run;
  run.StartUp(host_->Server());
  ASSERT_FALSE(run.context.m_updateAddress.empty());
  // The registry stops taking values just before the step, as when the disk
  // fills up during the installation.
  run.RunWorker([](std::uint32_t at) {
    if (at == checkpoint::kRegisterUninstallReg) {
      platform::InjectFault({"RegSetValueEx", L"UninstallString", win::ERROR_WRITE_FAULT});
    }
  });
  InstallationRun::WaitForStartedPrograms();

  const std::vector<RecordedRow>& rows = run.progress->rows;
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(std::vector<RecordedRow>(rows.end() - 3, rows.end()),
            (std::vector<RecordedRow>{{L"DeleteOldFile Success", false, 90},
                                      {L"RegisterUninstallReg Fail", false, 90},
                                      {L"Install Success", false, 100}}));
  EXPECT_EQ(run.wizard->calls, std::vector<std::wstring>{L"completion page"});
  EXPECT_EQ(run.checkpoint, checkpoint::kInstallSuccess);
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] BVLInstall : Write Uninstall Registry Fail - UninstallString"));
  std::wstring uninstaller;
  EXPECT_FALSE(RegReadString(kUninstallKey, L"UninstallString", &uninstaller));
}

}  // namespace
