// Own-process services run real programs of the machine: started by
// StartServiceW, connected through the service program API, stopped by a
// request or by their own stop event, and stopped when their program ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

bool Logged(const std::wstring& line) {
  auto lines = platform::ReadDebugLog();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ServiceProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::PlaceBuiltinProgram(kProgram, "testservice"));
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    if (service_) CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
  }

  void Create(const std::wstring& imagePath) {
    service_ = CreateServiceW(manager_, L"bvltest", L"Test service", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, imagePath, nullptr, nullptr, nullptr, nullptr,
                              nullptr);
    ASSERT_NE(service_, nullptr);
  }
  SERVICE_STATUS Status() {
    SERVICE_STATUS status;
    EXPECT_TRUE(QueryServiceStatus(service_, &status));
    return status;
  }
  bool WaitForState(DWORD state) {
    return testing_support::WaitUntil([&] { return Status().dwCurrentState == state; });
  }
  DWORD ServiceProcess() {
    for (const auto& s : platform::ListServices()) {
      if (s.name == L"bvltest") return s.processId;
    }
    return 0;
  }

  static constexpr const wchar_t* kProgram = L"C:\\Program Files\\Test\\svc.exe";
  testing_support::ScopedMachine machine_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ServiceProgramTest, StartRunsTheProgramUntilAStopRequest) {
  Create(L"\"C:\\Program Files\\Test\\svc.exe\"");
  const wchar_t* arguments[] = {L"first"};
  ASSERT_TRUE(StartServiceW(service_, 1, arguments));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  EXPECT_TRUE(Status().dwControlsAccepted & SERVICE_ACCEPT_STOP);
  DWORD id = ServiceProcess();
  ASSERT_NE(id, 0u);
  auto record = platform::FindProcess(id);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->imagePath, kProgram) << "the process keeps the stub's path";
  EXPECT_EQ(record->user, "SYSTEM");
  auto parent = platform::FindProcess(record->parentId);
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->imagePath, L"C:\\Windows\\System32\\services.exe");
  EXPECT_TRUE(Logged(L"testservice main bvltest first"));

  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED);
  EXPECT_TRUE(Logged(L"testservice stop request")) << "the handler has run when the call returns";
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  CloseHandle(process);
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(Status().dwWin32ExitCode, 0u);
  EXPECT_EQ(ServiceProcess(), 0u);
}

TEST_F(ServiceProgramTest, ProgramEndsWhenItsNamedStopEventIsSet) {
  Create(L"\"C:\\Program Files\\Test\\svc.exe\" --stop-event Global\\TEST_STOP_EVENT");
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, ServiceProcess());
  HANDLE stop = OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Global\\TEST_STOP_EVENT");
  ASSERT_NE(stop, nullptr) << "the service created its stop event";
  ASSERT_TRUE(SetEvent(stop));
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
  EXPECT_TRUE(Logged(L"testservice stop event"));
  CloseHandle(stop);
  CloseHandle(process);
}

TEST_F(ServiceProgramTest, StopIsRefusedWhenTheProgramDoesNotAcceptIt) {
  Create(L"\"C:\\Program Files\\Test\\svc.exe\" --no-stop");
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ServiceProgramTest, ProgramThatEndsAbruptlyLeavesTheServiceStoppedWithAnAbortCode) {
  Create(L"\"C:\\Program Files\\Test\\svc.exe\"");
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, ServiceProcess());
  ASSERT_TRUE(TerminateProcess(process, 9));
  CloseHandle(process);
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(Status().dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  // A stopped service can be started again.
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  EXPECT_TRUE(WaitForState(SERVICE_RUNNING));
}

TEST_F(ServiceProgramTest, StartFailsWhenTheProgramIsMissingOrEndsBeforeConnecting) {
  Create(L"\"C:\\Program Files\\Test\\missing.exe\"");
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
  CloseServiceHandle(service_);
  service_ = OpenServiceW(manager_, L"bvltest", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(DeleteService(service_));
  CloseServiceHandle(service_);

  Create(L"\"C:\\Program Files\\Test\\svc.exe\" --exit-early");
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
}

TEST_F(ServiceProgramTest, ProgramNotStartedByTheServiceManagerCannotConnect) {
  auto output = machine_.Root() / "dispatcher.txt";
  DWORD id = platform::StartProcess(kProgram, L"svc.exe", output.string());
  ASSERT_NE(id, 0u);
  EXPECT_EQ(platform::WaitForProcess(id, 10000), 2u);
  std::ifstream in(output);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "dispatcher error 1063");
}

TEST_F(ServiceProgramTest, UnquotedImagePathWithSpacesRunsTheShorterProgramThatExists) {
  ASSERT_TRUE(testing_support::PlaceBuiltinProgram(L"C:\\Program.exe", "testservice"));
  Create(L"C:\\Program Files\\Test\\svc.exe");
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  auto record = platform::FindProcess(ServiceProcess());
  ASSERT_TRUE(record);
  EXPECT_EQ(record->imagePath, L"C:\\Program.exe");
}

TEST_F(ServiceProgramTest, ServiceStartedFromAnotherProcessIsStoppedFromThisOne) {
  Create(L"\"C:\\Program Files\\Test\\svc.exe\"");
  // winsim opens the service manager in a process of its own and ends once
  // the service has connected; the service program outlives it.
  std::string command = std::string(BVL_BINARY_DIR) + "/tools/winsim --machine " + machine_.Root().string() +
                        " start bvltest > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  DWORD id = ServiceProcess();
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  ASSERT_NE(process, nullptr);
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
  CloseHandle(process);
}

}  // namespace
