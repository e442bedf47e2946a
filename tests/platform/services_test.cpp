// The service manager: services stored as Windows stores them, drivers that
// load when their image is present (with delays on a clock tests move),
// deletion when the last handle goes, recovery actions and injected faults.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/sim/images/pe_image.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/services.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

const std::wstring kKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\";

std::optional<platform::RegistryValue> Value(const std::wstring& key, const std::wstring& name) {
  platform::RegistryTree tree = platform::ReadRegistry();
  auto it = tree.find(platform::RegistryFold(key));
  if (it == tree.end()) return std::nullopt;
  auto value = it->second.values.find(platform::RegistryFold(name));
  if (value == it->second.values.end()) return std::nullopt;
  return value->second;
}

bool KeyExists(const std::wstring& key) { return platform::ReadRegistry().count(platform::RegistryFold(key)) > 0; }

class DriverServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override { CloseServiceHandle(manager_); }

  SC_HANDLE CreateDriver(const std::wstring& name, DWORD access = SERVICE_ALL_ACCESS) {
    return CreateServiceW(manager_, name, name + L" monitor", access, SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START,
                          SERVICE_ERROR_NORMAL, L"%SystemRoot%\\System32\\drivers\\" + name + L".sys", nullptr, nullptr,
                          nullptr, nullptr, nullptr);
  }
  void PlaceImage(const std::wstring& name, const std::string& bytes) {
    std::ofstream(machine_.Host(L"C:\\Windows\\System32\\drivers\\" + name + L".sys"), std::ios::binary) << bytes;
  }
  void PlaceDriverImage(const std::wstring& name) { PlaceImage(name, platform::BuildPeImage(platform::PeMachine::I386)); }
  DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS status;
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    return status.dwCurrentState;
  }

  testing_support::ScopedMachine machine_{"win7-x86"};
  SC_HANDLE manager_ = nullptr;
};

TEST_F(DriverServiceTest, CreateWritesTheServiceKeyAsWindowsStoresIt) {
  SC_HANDLE service = CreateDriver(L"kvppob");
  ASSERT_NE(service, nullptr);
  auto type = Value(kKey + L"kvppob", L"Type");
  ASSERT_TRUE(type);
  EXPECT_EQ(type->type, REG_DWORD);
  EXPECT_EQ(type->data, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(Value(kKey + L"kvppob", L"Start")->data, std::string("\0\0\0\0", 4));
  EXPECT_EQ(Value(kKey + L"kvppob", L"ErrorControl")->data, std::string("\x01\0\0\0", 4));
  auto image = Value(kKey + L"kvppob", L"ImagePath");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->type, REG_EXPAND_SZ);
  // The variable stays unexpanded; the string carries its terminator.
  EXPECT_EQ(image->data, platform::WideToUtf16Le(L"%SystemRoot%\\System32\\drivers\\kvppob.sys") + std::string(2, '\0'));
  EXPECT_EQ(Value(kKey + L"kvppob", L"DisplayName")->data,
            platform::WideToUtf16Le(L"kvppob monitor") + std::string(2, '\0'));
  EXPECT_FALSE(Value(kKey + L"kvppob", L"ObjectName")) << "a driver without an account names none";
  EXPECT_EQ(StateOf(service), SERVICE_STOPPED);
  CloseServiceHandle(service);

  SC_HANDLE own = CreateServiceW(manager_, L"agent", L"Agent", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, L"C:\\agent.exe", nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(Value(kKey + L"agent", L"ObjectName")->data, platform::WideToUtf16Le(L"LocalSystem") + std::string(2, '\0'));
  CloseServiceHandle(own);
}

TEST_F(DriverServiceTest, CreationIsRefusedForAnExistingNameAndBadParameters) {
  SC_HANDLE first = CreateDriver(L"kvppob");
  ASSERT_NE(first, nullptr);
  SetLastError(0);
  EXPECT_EQ(CreateDriver(L"KVPPOB"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(CreateServiceW(manager_, L"other", L"kvppob monitor", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                           SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, L"x.sys", nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DUPLICATE_SERVICE_NAME);
  EXPECT_EQ(CreateDriver(L"bad\\name"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  // Boot start is for drivers only.
  EXPECT_EQ(CreateServiceW(manager_, L"boot", L"boot", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START,
                           SERVICE_ERROR_NORMAL, L"C:\\a.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SC_HANDLE reader = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  EXPECT_EQ(CreateServiceW(reader, L"late", L"late", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START,
                           SERVICE_ERROR_NORMAL, L"late.sys", nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenServiceW(reader, L"missing", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  CloseServiceHandle(reader);
  CloseServiceHandle(first);
}

TEST_F(DriverServiceTest, DriverRunsOnlyWhenItsImageIsAProgramFile) {
  SC_HANDLE service = CreateDriver(L"kvppob");
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  PlaceImage(L"kvppob", "not a driver");
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(StateOf(service), SERVICE_STOPPED);
  PlaceDriverImage(L"kvppob");
  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(StateOf(service), SERVICE_RUNNING);
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
  SERVICE_STATUS status;
  EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(status.dwServiceType, SERVICE_KERNEL_DRIVER);
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  CloseServiceHandle(service);
}

TEST_F(DriverServiceTest, DelaysRunOutOnTheServiceClock) {
  PlaceDriverImage(L"kvppob");
  platform::SetServiceDelays(L"kvppob", 5000, 3000);
  SC_HANDLE service = CreateDriver(L"kvppob");
  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(StateOf(service), SERVICE_START_PENDING);
  platform::AdvanceServiceClock(4000);
  EXPECT_EQ(StateOf(service), SERVICE_START_PENDING);
  platform::AdvanceServiceClock(2000);
  EXPECT_EQ(StateOf(service), SERVICE_RUNNING);
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  // A pending driver takes no further stop request.
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  platform::AdvanceServiceClock(3000);
  EXPECT_EQ(StateOf(service), SERVICE_STOPPED);

  platform::SetServiceDelays(L"kvppob", -1, 0);
  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  platform::AdvanceServiceClock(1000000000);
  EXPECT_EQ(StateOf(service), SERVICE_START_PENDING) << "a start delay of -1 never ends";
  CloseServiceHandle(service);
}

TEST_F(DriverServiceTest, StoppedServiceAnswersInterrogationWithItsStateAndRefusesStop) {
  SC_HANDLE service = CreateDriver(L"kvppob");
  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  status = SERVICE_STATUS();
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  // No handle at all: the status record is left as the caller zeroed it.
  SERVICE_STATUS untouched;
  EXPECT_FALSE(ControlService(nullptr, SERVICE_CONTROL_STOP, &untouched));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(untouched.dwCurrentState, 0u);
  EXPECT_FALSE(ControlService(service, 2, &status)) << "drivers take no pause";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  CloseServiceHandle(service);
}

TEST_F(DriverServiceTest, HandlesAllowOnlyTheAccessTheyWereOpenedWith) {
  CloseServiceHandle(CreateDriver(L"kvppob"));
  PlaceDriverImage(L"kvppob");
  SC_HANDLE reader = OpenServiceW(manager_, L"kvppob", SERVICE_QUERY_STATUS);
  ASSERT_NE(reader, nullptr);
  EXPECT_FALSE(StartServiceW(reader, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteService(reader));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SC_HANDLE deleter = OpenServiceW(manager_, L"kvppob", DELETE);
  SERVICE_STATUS status;
  EXPECT_FALSE(QueryServiceStatus(deleter, &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DeleteService(deleter));
  CloseServiceHandle(deleter);
  CloseServiceHandle(reader);
  EXPECT_FALSE(CloseServiceHandle(reader)) << "a handle closes once";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(DriverServiceTest, DeletedServiceGoesWhenItsLastHandleCloses) {
  SC_HANDLE created = CreateDriver(L"kvppob");
  SC_HANDLE opened = OpenServiceW(manager_, L"kvppob", SERVICE_ALL_ACCESS);
  ASSERT_NE(opened, nullptr);
  HKEY instances = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &instances, nullptr),
            0);
  RegCloseKey(instances);
  ASSERT_TRUE(DeleteService(created));
  EXPECT_FALSE(DeleteService(opened));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(CreateDriver(L"kvppob"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  auto listed = platform::ListServices();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_TRUE(listed[0].markedForDelete);
  CloseServiceHandle(created);
  EXPECT_TRUE(KeyExists(kKey + L"kvppob"));
  CloseServiceHandle(opened);
  EXPECT_FALSE(KeyExists(kKey + L"kvppob"));
  EXPECT_FALSE(KeyExists(kKey + L"kvppob\\Instances")) << "the key goes with its subkeys";
  SC_HANDLE again = CreateDriver(L"kvppob");
  EXPECT_NE(again, nullptr);
  CloseServiceHandle(again);
}

TEST_F(DriverServiceTest, RunningServiceMarkedForDeletionGoesWhenItStops) {
  PlaceDriverImage(L"kvppob");
  SC_HANDLE service = CreateDriver(L"kvppob");
  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  ASSERT_TRUE(DeleteService(service));
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  CloseServiceHandle(service);
  EXPECT_TRUE(KeyExists(kKey + L"kvppob")) << "still running";
  SC_HANDLE again = OpenServiceW(manager_, L"kvppob", SERVICE_STOP);
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(again, SERVICE_CONTROL_STOP, &status));
  CloseServiceHandle(again);
  EXPECT_FALSE(KeyExists(kKey + L"kvppob"));
}

TEST_F(DriverServiceTest, AHandleInAnotherProcessKeepsADeletedServiceUntilThatProcessEnds) {
  CloseServiceHandle(CreateDriver(L"kvppob"));
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Global\\HOLDER_READY");
  ASSERT_TRUE(testing_support::PlaceBuiltinProgram(L"C:\\Tools\\events.exe", "testevents"));
  DWORD holder = platform::StartProcess(L"C:\\Tools\\events.exe", L"events.exe hold-service kvppob Global\\HOLDER_READY");
  ASSERT_NE(holder, 0u);
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  SC_HANDLE service = OpenServiceW(manager_, L"kvppob", DELETE);
  ASSERT_TRUE(DeleteService(service));
  CloseServiceHandle(service);
  EXPECT_TRUE(KeyExists(kKey + L"kvppob"));
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, holder);
  ASSERT_TRUE(TerminateProcess(process, 1));
  CloseHandle(process);
  EXPECT_TRUE(testing_support::WaitUntil([] { return platform::ListServices().empty(); }));
  EXPECT_FALSE(KeyExists(kKey + L"kvppob"));
  CloseHandle(ready);
}

TEST_F(DriverServiceTest, FailureActionsAreStoredInTheDocumentedLayout) {
  SC_HANDLE service = CreateDriver(L"kvppob");
  SC_ACTION restarts[3] = {{SC_ACTION_RESTART, 2000}, {SC_ACTION_RESTART, 2000}, {SC_ACTION_RESTART, 2000}};
  SERVICE_FAILURE_ACTIONSW actions;
  actions.dwResetPeriod = 600;
  actions.cActions = 3;
  actions.lpsaActions = restarts;
  ASSERT_EQ(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions), 1);
  auto stored = Value(kKey + L"kvppob", L"FailureActions");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, REG_BINARY);
  const std::string restart("\x01\0\0\0\xd0\x07\0\0", 8);
  EXPECT_EQ(stored->data, std::string("\x58\x02\0\0" "\0\0\0\0" "\0\0\0\0" "\x03\0\0\0" "\x14\0\0\0", 20) + restart +
                              restart + restart);
  auto listed = platform::ListServices();
  ASSERT_EQ(listed.size(), 1u);
  ASSERT_TRUE(listed[0].hasFailureActions);
  EXPECT_EQ(listed[0].resetPeriod, 600u);
  ASSERT_EQ(listed[0].actions.size(), 3u);
  EXPECT_EQ(listed[0].actions[2].Delay, 2000u);

  // Without actions the stored ones stay; a reboot message comes and goes.
  SERVICE_FAILURE_ACTIONSW message;
  message.lpRebootMsg = L"restarting";
  ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &message));
  EXPECT_EQ(Value(kKey + L"kvppob", L"FailureActions")->data, stored->data);
  EXPECT_TRUE(Value(kKey + L"kvppob", L"RebootMessage"));
  message.lpRebootMsg = L"";
  ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &message));
  EXPECT_FALSE(Value(kKey + L"kvppob", L"RebootMessage"));
  EXPECT_FALSE(ChangeServiceConfig2W(service, 99, &actions));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);

  // Restart actions need the right to start the service.
  SC_HANDLE configurer = OpenServiceW(manager_, L"kvppob", SERVICE_CHANGE_CONFIG);
  EXPECT_FALSE(ChangeServiceConfig2W(configurer, SERVICE_CONFIG_FAILURE_ACTIONS, &actions));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseServiceHandle(configurer);
  CloseServiceHandle(service);
}

// Each operation of the service manager fails with the error of a fault
// armed for its name.
struct FaultRow {
  const char* operation;
  std::function<bool(SC_HANDLE manager, SC_HANDLE service)> call;
};

TEST_F(DriverServiceTest, EveryOperationFailsWithItsInjectedFault) {
  PlaceDriverImage(L"kvppob");
  SC_HANDLE service = CreateDriver(L"kvppob");
  SERVICE_FAILURE_ACTIONSW actions;
  const std::vector<FaultRow> rows = {
      {"OpenSCManager", [](SC_HANDLE, SC_HANDLE) { return OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != nullptr; }},
      {"OpenService", [](SC_HANDLE m, SC_HANDLE) { return OpenServiceW(m, L"kvppob", SERVICE_ALL_ACCESS) != nullptr; }},
      {"CreateService",
       [](SC_HANDLE m, SC_HANDLE) {
         return CreateServiceW(m, L"kvppob2", L"second", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START,
                               SERVICE_ERROR_NORMAL, L"x.sys", nullptr, nullptr, nullptr, nullptr, nullptr) != nullptr;
       }},
      {"StartService", [](SC_HANDLE, SC_HANDLE s) { return StartServiceW(s, 0, nullptr) != FALSE; }},
      {"ControlService",
       [](SC_HANDLE, SC_HANDLE s) {
         SERVICE_STATUS status;
         return ControlService(s, SERVICE_CONTROL_INTERROGATE, &status) != FALSE;
       }},
      {"QueryServiceStatus",
       [](SC_HANDLE, SC_HANDLE s) {
         SERVICE_STATUS status;
         return QueryServiceStatus(s, &status) != FALSE;
       }},
      {"ChangeServiceConfig2",
       [&](SC_HANDLE, SC_HANDLE s) { return ChangeServiceConfig2W(s, SERVICE_CONFIG_FAILURE_ACTIONS, &actions) != FALSE; }},
      {"DeleteService", [](SC_HANDLE, SC_HANDLE s) { return DeleteService(s) != FALSE; }},
  };
  for (const FaultRow& row : rows) {
    std::wstring subject = std::string(row.operation) == "OpenSCManager" ? L""
                           : std::string(row.operation) == "CreateService" ? L"kvppob2"
                                                                            : L"kvppob";
    platform::InjectFault({row.operation, subject, 1234, 1});
    SetLastError(0);
    EXPECT_FALSE(row.call(manager_, service)) << row.operation;
    EXPECT_EQ(GetLastError(), 1234u) << row.operation;
    EXPECT_TRUE(row.call(manager_, service)) << row.operation << " works again once the fault is used up";
    platform::ClearFaults();
  }
  CloseServiceHandle(service);
}

}  // namespace
