// What a failed installation leaves on a machine that held the legacy agent
// files in its drivers folder, compared with that machine before the
// installer ran (before start-up wrote its values): the legacy files stay
// moved aside until DeleteOldFile has run and are gone after it, the product
// keys' parents stay empty in every hive start-up wrote to, and the task list
// stays once the task step has run. Every difference is listed.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "engine/install_worker.h"
#include "platform/codepage.h"
#include "platform/sim/machine/machine_snapshot.h"
#include "support/host_files.h"
#include "support/installation_run.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"
#include "support/update_host_suite.h"

namespace {

using testing_support::InstallationRun;

const std::wstring kDrivers = L"C:\\Windows\\System32\\drivers\\";
const std::vector<std::wstring> kLegacyFiles = {L"kvppob.sys", L"BrimvaleAgent.exe", L"bvlcore.dll", L"bvlmqtt.exe"};

// The legacy files as RenameOldFile leaves them: each moved to "_<name>".
const std::vector<std::wstring> kMovedAside = {
    L"+ file C:\\Windows\\System32\\drivers\\_BrimvaleAgent.exe",
    L"+ file C:\\Windows\\System32\\drivers\\_bvlcore.dll",
    L"+ file C:\\Windows\\System32\\drivers\\_bvlmqtt.exe",
    L"+ file C:\\Windows\\System32\\drivers\\_kvppob.sys",
};
const std::vector<std::wstring> kLegacyGone = {
    L"- file C:\\Windows\\System32\\drivers\\BrimvaleAgent.exe",
    L"- file C:\\Windows\\System32\\drivers\\bvlcore.dll",
    L"- file C:\\Windows\\System32\\drivers\\bvlmqtt.exe",
    L"- file C:\\Windows\\System32\\drivers\\kvppob.sys",
};
// Start-up wrote the product values under the machine's key, the installer
// account's and the desktop user's; the rollback takes "Brimvale" and leaves
// what was created above it.
const std::vector<std::wstring> kEmptyParentKeys = {
    L"+ registry HKLM\\Software\\Korvanta",
    L"+ registry HKU\\Administrator\\Software",
    L"+ registry HKU\\Administrator\\Software\\Korvanta",
    L"+ registry HKU\\user\\Software",
    L"+ registry HKU\\user\\Software\\Korvanta",
};
// The task step's list of the machine's tasks, never deleted.
const std::vector<std::wstring> kTaskList = {
    L"+ file C:\\ProgramData\\Brimvale",
    L"+ file C:\\ProgramData\\Brimvale\\schtasks_list.txt",
};

struct LeftoverRow {
  const char* name;
  const char* profile;
  std::uint32_t checkpoint;  // the step before which the failure comes
  bool oldFilesDeleted;      // DeleteOldFile had run: nothing is left to move back
  bool taskListWritten;
};

class RollbackLeftovers : public testing_support::UpdateHostSuite<testing::TestWithParam<LeftoverRow>> {
 protected:
};

TEST_P(RollbackLeftovers, AreListedWhole) {
  const LeftoverRow& row = GetParam();
  testing_support::ScopedMachine machine(row.profile);
  for (const std::wstring& name : kLegacyFiles) {
    ASSERT_TRUE(testing_support::WriteHostFile(machine.Host(kDrivers + name), "legacy " + platform::WideToUtf8(name)));
  }
  testing_support::UpdateHostFixture::TrustTestRoot();
  const platform::MachineSnapshot before = platform::TakeMachineSnapshot();

  InstallationRun run;
  run.StartUp(host_->Server());
  run.RunWorker([&](std::uint32_t at) {
    if (at == row.checkpoint) throw std::runtime_error("step failed");
  });
  InstallationRun::WaitForStartedPrograms();
  ASSERT_EQ(run.checkpoint, checkpoint::kRolledBack);

  std::vector<std::wstring> expected = kLegacyGone;
  if (!row.oldFilesDeleted) expected.insert(expected.end(), kMovedAside.begin(), kMovedAside.end());
  expected.insert(expected.end(), kEmptyParentKeys.begin(), kEmptyParentKeys.end());
  if (row.taskListWritten) expected.insert(expected.end(), kTaskList.begin(), kTaskList.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(platform::CompareMachineSnapshots(before, platform::TakeMachineSnapshot()), expected);

  // What stays moved aside is the legacy file itself, not the driver the
  // installation downloaded.
  if (!row.oldFilesDeleted) {
    for (const std::wstring& name : kLegacyFiles) {
      EXPECT_EQ(testing_support::ReadHostFile(machine.Host(kDrivers + L"_" + name)),
                "legacy " + platform::WideToUtf8(name));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Checkpoints, RollbackLeftovers,
    testing::Values(LeftoverRow{"CreateAndMoveInstalledFile", "win10-x64", 10, false, false},
                    LeftoverRow{"InstallDriver", "win10-x64", 11, false, false},
                    LeftoverRow{"InstallDriverOn32Bit", "win7-x86", 11, false, false},
                    LeftoverRow{"InstallService", "win10-x64", 13, false, false},
                    LeftoverRow{"InstallServiceOn32Bit", "win7-x86", 13, false, false},
                    LeftoverRow{"RegisterReservationJob", "win10-x64", 16, false, false},
                    LeftoverRow{"DeleteOldFile", "win10-x64", 19, false, true},
                    LeftoverRow{"RegisterUninstallReg", "win10-x64", 20, true, true}),
    [](const testing::TestParamInfo<LeftoverRow>& info) { return std::string(info.param.name); });

}  // namespace
