// The service control manager on the real system: an own-process service
// (the child program in its service mode) created, started, queried, listed,
// stopped and deleted, and the configuration calls. Wine keeps no kernel
// drivers, so driver services are left to the simulated machine's tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/services.h"
#include "windows/platform/child_program.h"

#include "platform/windows/windows_api.h"

namespace {

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = win::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << win::GetLastError();
  }

  void TearDown() override {
    if (win::SC_HANDLE service = win::OpenServiceW(manager_, name_, SERVICE_ALL_ACCESS)) {
      win::SERVICE_STATUS status;
      win::ControlService(service, SERVICE_CONTROL_STOP, &status);
      win::DeleteService(service);
      win::CloseServiceHandle(service);
    }
    win::CloseServiceHandle(manager_);
  }

  win::SC_HANDLE Create() {
    return win::CreateServiceW(manager_, name_, L"Platform test service", SERVICE_ALL_ACCESS,
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                               windows_tests::ChildCommand(L"service"), nullptr, nullptr, nullptr, nullptr, nullptr);
  }

  // The service's state once it is `wanted`, or the last one seen in 30 s.
  win::DWORD AwaitState(win::SC_HANDLE service, win::DWORD wanted) {
    win::SERVICE_STATUS status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (win::QueryServiceStatus(service, &status) && status.dwCurrentState != wanted &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status.dwCurrentState;
  }

  std::optional<platform::ServiceSummary> Listed() {
    for (const platform::ServiceSummary& s : platform::ListServices()) {
      if (s.name == name_) return s;
    }
    return std::nullopt;
  }

  win::SC_HANDLE manager_ = nullptr;
  // One name per test: a deleted service's name stays taken until the
  // manager has let it go.
  const std::wstring name_ = windows_tests::UniqueName(
      L"Bvl" + Wide(::testing::UnitTest::GetInstance()->current_test_info()->name()));
};

TEST_F(ServiceTest, OwnProcessServiceStartsRunsItsProgramAndStops) {
  win::SC_HANDLE service = Create();
  ASSERT_NE(service, nullptr) << win::GetLastError();
  win::SERVICE_STATUS status;
  ASSERT_TRUE(win::QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<win::DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(status.dwServiceType, static_cast<win::DWORD>(SERVICE_WIN32_OWN_PROCESS));
  win::SERVICE_STATUS interrogated;
  EXPECT_FALSE(win::ControlService(service, SERVICE_CONTROL_INTERROGATE, &interrogated));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(interrogated.dwCurrentState, static_cast<win::DWORD>(SERVICE_STOPPED));

  ASSERT_TRUE(win::StartServiceW(service, 0, nullptr)) << win::GetLastError();
  ASSERT_EQ(AwaitState(service, SERVICE_RUNNING), static_cast<win::DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(win::StartServiceW(service, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  auto listed = Listed();
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->displayName, L"Platform test service");
  EXPECT_EQ(listed->imagePath, windows_tests::ChildCommand(L"service"));
  EXPECT_EQ(listed->startType, static_cast<win::DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(listed->state, static_cast<win::DWORD>(SERVICE_RUNNING));
  EXPECT_NE(listed->processId, 0u);
  EXPECT_FALSE(listed->markedForDelete);

  // The program's handler takes the request and reports its way down.
  ASSERT_TRUE(win::ControlService(service, SERVICE_CONTROL_STOP, &status)) << win::GetLastError();
  EXPECT_NE(status.dwCurrentState, static_cast<win::DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(AwaitState(service, SERVICE_STOPPED), static_cast<win::DWORD>(SERVICE_STOPPED));

  EXPECT_TRUE(win::DeleteService(service));
  EXPECT_TRUE(Listed()->markedForDelete);
  EXPECT_TRUE(win::CloseServiceHandle(service));
  // Gone once its last handle is closed and its program has ended.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  win::SC_HANDLE again = nullptr;
  while ((again = win::OpenServiceW(manager_, name_, SERVICE_QUERY_STATUS)) && std::chrono::steady_clock::now() < deadline) {
    win::CloseServiceHandle(again);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const win::DWORD error = win::GetLastError();
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(error, static_cast<win::DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceTest, DuplicateNameIsRefusedAndConfigurationLevelsAreChecked) {
  win::SC_HANDLE service = Create();
  ASSERT_NE(service, nullptr) << win::GetLastError();
  EXPECT_EQ(Create(), nullptr);
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_SERVICE_EXISTS));

  win::SERVICE_DESCRIPTIONW description;
  description.lpDescription = L"Described by the platform tests";
  EXPECT_TRUE(win::ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description)) << win::GetLastError();
  win::SC_ACTION actions[2];
  actions[0].Type = win::SC_ACTION_RESTART;
  actions[0].Delay = 60000;
  actions[1].Type = win::SC_ACTION_NONE;
  win::SERVICE_FAILURE_ACTIONSW failure;
  failure.dwResetPeriod = 86400;
  failure.cActions = 2;
  failure.lpsaActions = actions;
  // Accepted; whether the actions were stored is not checked: Wine accepts
  // failure actions but does not store them (the simulated machine's
  // services tests check the stored layout).
  EXPECT_TRUE(win::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) << win::GetLastError();
  EXPECT_FALSE(win::ChangeServiceConfig2W(service, 3, &failure));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INVALID_LEVEL));
  win::CloseServiceHandle(service);
}

TEST(ServiceProgramTest, ProgramNotStartedByTheManagerCannotConnect) {
  const win::SERVICE_TABLE_ENTRYW table[] = {{L"", [](win::DWORD, wchar_t**) {}}, {nullptr, nullptr}};
  EXPECT_FALSE(win::StartServiceCtrlDispatcherW(table));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
}

}  // namespace
