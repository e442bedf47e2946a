// Named events shared by the machine's processes, events of one process, and
// waiting on events and on processes.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

class NamedEventTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing_support::PlaceBuiltinProgram(kTool, "testevents")); }
  DWORD Run(const std::wstring& arguments) { return platform::StartProcess(kTool, L"events.exe " + arguments); }

  static constexpr const wchar_t* kTool = L"C:\\Tools\\events.exe";
  testing_support::ScopedMachine machine_;
};

TEST_F(NamedEventTest, EventExistsWhileSomeoneHoldsIt) {
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Global\\BVL_STOP_SVC_EVENT"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE created = CreateEventW(nullptr, TRUE, FALSE, L"Global\\BVL_STOP_SVC_EVENT");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateEventW(nullptr, FALSE, TRUE, L"Global\\BVL_STOP_SVC_EVENT");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  HANDLE opened = OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Global\\BVL_STOP_SVC_EVENT");
  ASSERT_NE(opened, nullptr);
  auto events = platform::ListEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0].set) << "the second creation's initial state is ignored";
  EXPECT_TRUE(events[0].manualReset);
  // Names are exact: another namespace is another event.
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"BVL_STOP_SVC_EVENT"), nullptr);
  CloseHandle(created);
  CloseHandle(second);
  EXPECT_EQ(platform::ListEvents().size(), 1u);
  CloseHandle(opened);
  EXPECT_TRUE(platform::ListEvents().empty());
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Global\\BVL_STOP_SVC_EVENT"), nullptr);
}

TEST_F(NamedEventTest, ManualEventsStaySetAndAutoResetEventsReleaseOneWait) {
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, L"Global\\MANUAL");
  HANDLE automatic = CreateEventW(nullptr, FALSE, FALSE, L"Global\\AUTO");
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(manual));
  ASSERT_TRUE(SetEvent(automatic));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST_F(NamedEventTest, AccessIsCheckedAndFaultsFailTheCalls) {
  HANDLE owner = CreateEventW(nullptr, TRUE, FALSE, L"Global\\LIMITED");
  HANDLE waiter = OpenEventW(SYNCHRONIZE, FALSE, L"Global\\LIMITED");
  ASSERT_NE(waiter, nullptr);
  EXPECT_FALSE(SetEvent(waiter));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE setter = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Global\\LIMITED");
  EXPECT_EQ(WaitForSingleObject(setter, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::InjectFault({"OpenEvent", L"Global\\LIMITED", ERROR_ACCESS_DENIED, 1});
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"global\\limited"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::InjectFault({"SetEvent", L"Global\\LIMITED", ERROR_INVALID_HANDLE, 1});
  EXPECT_FALSE(SetEvent(owner));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(SetEvent(owner));
  CloseHandle(owner);
  CloseHandle(waiter);
  CloseHandle(setter);
}

TEST_F(NamedEventTest, EventSetInOneProcessEndsTheWaitOfAnother) {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, L"Global\\GO");
  DWORD waiter = Run(L"wait Global\\GO 30000");
  ASSERT_NE(waiter, 0u);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, waiter);
  ASSERT_TRUE(SetEvent(go));
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  DWORD code = 99;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 0u) << "the wait saw the event";
  CloseHandle(process);
  CloseHandle(go);
}

TEST_F(NamedEventTest, AnotherProcessSetsAnEventThisOneWaitsFor) {
  HANDLE done = CreateEventW(nullptr, FALSE, FALSE, L"Global\\DONE");
  DWORD setter = Run(L"set Global\\DONE");
  ASSERT_NE(setter, 0u);
  EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(platform::WaitForProcess(setter, 10000), 0u);
  CloseHandle(done);
}

TEST_F(NamedEventTest, EventHeldOnlyByAProcessThatEndsIsGone) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Global\\READY");
  DWORD holder = Run(L"hold Global\\HELD Global\\READY");
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  HANDLE seen = OpenEventW(SYNCHRONIZE, FALSE, L"Global\\HELD");
  ASSERT_NE(seen, nullptr);
  CloseHandle(seen);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, holder);
  ASSERT_TRUE(TerminateProcess(process, 1));
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  CloseHandle(process);
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, L"Global\\HELD"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CloseHandle(ready);
}

TEST_F(NamedEventTest, UnnamedEventBelongsToThisProcessAndWakesAnotherThread) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_TRUE(platform::ListEvents().empty());
  std::thread setter([&] { SetEvent(event); });
  EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "auto reset";
  CloseHandle(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED) << "a closed handle";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(NamedEventTest, WaitOnAProcessEndsWhenItExits) {
  DWORD waiter = Run(L"wait Global\\NEVER 0");
  ASSERT_NE(waiter, 0u);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, waiter);
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 1u) << "the event was never set";
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "an ended process stays signalled";
  CloseHandle(process);
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
}

}  // namespace
