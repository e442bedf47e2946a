// winsim shows what the machine's stand-in OS holds: services, tasks,
// windows, events, the protection driver, and snapshot comparisons.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/sim/images/pe_image.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

std::string Winsim(const testing_support::ScopedMachine& machine, const std::string& arguments, int* status) {
  std::string command = std::string(BVL_BINARY_DIR) + "/tools/winsim --machine " + machine.Root().string() + " " +
                        arguments + " 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  int raw = ::pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

TEST(WinsimInspectionTest, ShowsServicesTasksWindowsEventsAndTheDriver) {
  testing_support::ScopedMachine machine("win7-x86");
  std::ofstream(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys"), std::ios::binary)
      << platform::BuildPeImage(platform::PeMachine::I386);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE driver = CreateServiceW(manager, L"kvppob", L"kvppob monitor", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                    SERVICE_BOOT_START, SERVICE_ERROR_NORMAL,
                                    L"%SystemRoot%\\System32\\drivers\\kvppob.sys", nullptr, nullptr, nullptr, nullptr,
                                    nullptr);
  SC_ACTION restart{SC_ACTION_RESTART, 2000};
  SERVICE_FAILURE_ACTIONSW actions;
  actions.dwResetPeriod = 600;
  actions.cActions = 1;
  actions.lpsaActions = &restart;
  ASSERT_TRUE(ChangeServiceConfig2W(driver, SERVICE_CONFIG_FAILURE_ACTIONS, &actions));
  ASSERT_TRUE(StartServiceW(driver, 0, nullptr));
  HANDLE device = CreateFileW(L"\\\\.\\kvppob", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(DeviceIoControl(device, 0x821BE024, nullptr, 0, nullptr, 0, nullptr, nullptr));
  ASSERT_TRUE(platform::SaveScheduledTask({L"bvlchk_minute", L"\"C:\\bvlchk.exe\"", L"MINUTE", 30, L"System", L""}, false));
  platform::CreateTopLevelWindow(L"BrimvaleAgent.exe");
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, L"Global\\BVL_STOP_MQTT_EVENT");

  int status = -1;
  std::string services = Winsim(machine, "services", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(services.find("kvppob\tRUNNING\tBOOT_START\ttype 0x1\t%SystemRoot%\\System32\\drivers\\kvppob.sys"),
            std::string::npos)
      << services;
  EXPECT_NE(services.find("recovery: reset 600 s, restart after 2000 ms"), std::string::npos) << services;
  std::string tasks = Winsim(machine, "tasks", &status);
  EXPECT_NE(tasks.find("bvlchk_minute\tMINUTE every 30 min"), std::string::npos) << tasks;
  EXPECT_NE(tasks.find("as System\t\"C:\\bvlchk.exe\""), std::string::npos) << tasks;
  std::string windows = Winsim(machine, "windows", &status);
  EXPECT_NE(windows.find("\"BrimvaleAgent.exe\""), std::string::npos) << windows;
  std::string events = Winsim(machine, "events", &status);
  EXPECT_NE(events.find("Global\\BVL_STOP_MQTT_EVENT\tset\tmanual reset"), std::string::npos) << events;
  EXPECT_EQ(Winsim(machine, "driver", &status), "kvppob registry protection: ON\n");

  // Snapshots taken by winsim, compared by winsim: exit code 3 for differences.
  std::string before = (machine.Root() / "before.json").string();
  std::string after = (machine.Root() / "after.json").string();
  Winsim(machine, "snapshot " + before, &status);
  EXPECT_EQ(status, 0);
  ASSERT_TRUE(platform::DeleteScheduledTask(L"bvlchk_minute"));
  Winsim(machine, "snapshot " + after, &status);
  std::string differences = Winsim(machine, "compare " + before + " " + after, &status);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(differences,
            "- file C:\\Windows\\System32\\Tasks\\bvlchk_minute\n- task bvlchk_minute\n");
  Winsim(machine, "compare " + before + " " + before, &status);
  EXPECT_EQ(status, 0);
  Winsim(machine, "compare " + before + " /nonexistent.json", &status);
  EXPECT_EQ(status, 1);

  CloseHandle(event);
  CloseHandle(device);
  CloseServiceHandle(driver);
  CloseServiceHandle(manager);
}

}  // namespace
