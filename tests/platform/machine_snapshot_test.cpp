// Machine snapshots: each area's additions, removals and changes, snapshot
// files read back as written, and damaged files refused.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/codepage.h"
#include "platform/sim/machine/machine_snapshot.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/services.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

void SetString(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &handle,
                            nullptr),
            0);
  std::string bytes = platform::WideToUtf16Le(text);
  RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(handle);
}

TEST(MachineSnapshotTest, ComparisonNamesWhatEachAreaGainedLostAndChanged) {
  testing_support::ScopedMachine machine;
  std::ofstream(machine.Host(L"C:\\ProgramData\\kept.txt")) << "one";
  std::ofstream(machine.Host(L"C:\\ProgramData\\gone.txt")) << "two";
  SetString(L"SOFTWARE\\Korvanta\\Brimvale", L"Version", L"1.0");
  ASSERT_TRUE(platform::SaveScheduledTask({L"bvlchk_onstart", L"x", L"ONSTART", 0, L"System", L""}, false));
  platform::MachineSnapshot before = platform::TakeMachineSnapshot();
  EXPECT_TRUE(platform::CompareMachineSnapshots(before, platform::TakeMachineSnapshot()).empty());

  std::ofstream(machine.Host(L"C:\\ProgramData\\kept.txt")) << "changed";
  std::filesystem::remove(machine.Host(L"C:\\ProgramData\\gone.txt"));
  std::filesystem::create_directories(machine.Host(L"C:\\Program Files\\brimvale"));
  SetString(L"SOFTWARE\\Korvanta\\Brimvale", L"Version", L"2.0");
  SetString(L"SOFTWARE\\Korvanta\\Brimvale", L"WebVersion", L"7");
  ASSERT_TRUE(platform::DeleteScheduledTask(L"bvlchk_onstart"));
  ASSERT_TRUE(platform::SaveScheduledTask({L"bvlchk_minute", L"x", L"MINUTE", 30, L"System", L""}, false));
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  CloseServiceHandle(CreateServiceW(manager, L"bvlsvc", L"bvlsvc", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, L"C:\\svc.exe", nullptr, nullptr, nullptr,
                                    nullptr, nullptr));
  CloseServiceHandle(manager);
  platform::AddResidentProcess(L"C:\\Windows\\notepad.exe", "user", 0);

  auto lines = platform::CompareMachineSnapshots(before, platform::TakeMachineSnapshot());
  const std::vector<std::wstring> expected = {
      L"+ file C:\\Program Files\\brimvale",
      L"+ process C:\\Windows\\notepad.exe#1",
      L"+ registry HKLM\\SOFTWARE\\Korvanta\\Brimvale\\\\:WebVersion",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc\\\\:DisplayName",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc\\\\:ErrorControl",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc\\\\:ImagePath",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc\\\\:ObjectName",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc\\\\:Start",
      L"+ registry HKLM\\SYSTEM\\CurrentControlSet\\Services\\bvlsvc\\\\:Type",
      L"+ service bvlsvc",
      L"+ task bvlchk_minute",
      L"- file C:\\ProgramData\\gone.txt",
      L"- file C:\\Windows\\System32\\Tasks\\bvlchk_onstart",
      L"- task bvlchk_onstart",
      L"~ file C:\\ProgramData\\kept.txt",
      L"~ registry HKLM\\SOFTWARE\\Korvanta\\Brimvale\\\\:Version",
  };
  // The new task's file is an addition too.
  std::vector<std::wstring> withTaskFile = expected;
  withTaskFile.push_back(L"+ file C:\\Windows\\System32\\Tasks\\bvlchk_minute");
  std::sort(withTaskFile.begin(), withTaskFile.end());
  EXPECT_EQ(lines, withTaskFile);
}

TEST(MachineSnapshotTest, SnapshotFileReadsBackAsWrittenAndDamagedFilesAreRefused) {
  testing_support::ScopedMachine machine;
  SetString(L"SOFTWARE\\Korvanta\\Brimvale", L"DisplayName", L"\ube0c\ub9bc\ubca0\uc77c");
  platform::MachineSnapshot taken = platform::TakeMachineSnapshot();
  auto file = machine.Root() / "before.json";
  ASSERT_TRUE(platform::SaveMachineSnapshot(taken, file.string()));
  platform::MachineSnapshot loaded;
  ASSERT_TRUE(platform::LoadMachineSnapshot(file.string(), &loaded));
  EXPECT_TRUE(platform::CompareMachineSnapshots(taken, loaded).empty());
  EXPECT_EQ(loaded.registry.at(L"HKLM\\SOFTWARE\\Korvanta\\Brimvale\\\\:DisplayName"),
            L"REG_SZ \"\ube0c\ub9bc\ubca0\uc77c\" (8 bytes)");
  EXPECT_FALSE(loaded.files.empty());

  platform::MachineSnapshot untouched;
  untouched.tasks[L"keep"] = L"me";
  const std::string areas = "\"registry\": {}, \"file\": {}, \"service\": {}, \"process\": {}";
  const std::string damagedFiles[] = {"not json", "[1, 2]", "{" + areas + "}", "{" + areas + ", \"task\": []}",
                                      "{" + areas + ", \"task\": {\"a\": 5}}"};
  for (const std::string& damaged : damagedFiles) {
    std::ofstream(file) << damaged;
    EXPECT_FALSE(platform::LoadMachineSnapshot(file.string(), &untouched)) << damaged;
    EXPECT_EQ(untouched.tasks.size(), 1u) << "a refused file changes nothing";
  }
  EXPECT_FALSE(platform::LoadMachineSnapshot((machine.Root() / "missing.json").string(), &untouched));
}

}  // namespace
