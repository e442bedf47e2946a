// Mutexes shared by the machine's processes: ownership by one thread that
// nests, release only by the owner, waits across threads and processes, and
// abandonment when the owning thread or process ends without releasing.
#include <gtest/gtest.h>

#include <signal.h>

#include <thread>

#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "support/child_program.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

constexpr const wchar_t* kName = L"Global\\BVL_TEST_MUTEX";

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing_support::PlaceBuiltinProgram(kTool, "testevents")); }
  DWORD Run(const std::wstring& arguments) { return platform::StartProcess(kTool, L"events.exe " + arguments); }

  static std::optional<platform::MutexSummary> Listed(const std::wstring& name) {
    for (const platform::MutexSummary& mutex : platform::ListMutexes()) {
      if (mutex.name == name) return mutex;
    }
    return std::nullopt;
  }

  static constexpr const wchar_t* kTool = L"C:\\Tools\\events.exe";
  testing_support::ScopedMachine machine_;
};

TEST_F(NamedMutexTest, OwnershipNestsAndOnlyTheOwnerReleases) {
  HANDLE created = CreateMutexW(nullptr, TRUE, kName);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto listed = Listed(kName);
  ASSERT_TRUE(listed);
  EXPECT_TRUE(listed->owned);
  EXPECT_EQ(listed->ownerProcessId, platform::CurrentProcessRecord().id);

  // A second creation opens it; its initial ownership is ignored.
  HANDLE opened = CreateMutexW(nullptr, TRUE, kName);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0) << "the owner takes it again";

  std::thread other([] {
    HANDLE mine = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kName);
    EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(mine));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    CloseHandle(mine);
  });
  other.join();

  EXPECT_TRUE(ReleaseMutex(created));
  EXPECT_TRUE(Listed(kName)->owned) << "taken twice, released once";
  EXPECT_TRUE(ReleaseMutex(opened));
  EXPECT_FALSE(Listed(kName)->owned);
  EXPECT_FALSE(ReleaseMutex(created));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

  CloseHandle(created);
  EXPECT_TRUE(Listed(kName));
  CloseHandle(opened);
  EXPECT_FALSE(Listed(kName)) << "gone with its last handle";
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, kName), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamedMutexTest, AWaitingThreadTakesItWhenTheOwnerReleases) {
  HANDLE owner = CreateMutexW(nullptr, TRUE, kName);
  DWORD result = WAIT_FAILED;
  std::thread waiter([&] {
    HANDLE mine = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kName);
    result = WaitForSingleObject(mine, 10000);
    ReleaseMutex(mine);
    CloseHandle(mine);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(ReleaseMutex(owner));
  waiter.join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  CloseHandle(owner);
}

TEST_F(NamedMutexTest, AThreadThatEndsOwningItAbandonsIt) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
  std::thread owner([] {
    HANDLE mine = OpenMutexW(SYNCHRONIZE, FALSE, kName);
    EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_OBJECT_0);
    CloseHandle(mine);  // closing releases nothing
  });
  owner.join();
  auto listed = Listed(kName);
  ASSERT_TRUE(listed);
  EXPECT_FALSE(listed->owned);
  EXPECT_TRUE(listed->abandoned);
  EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
  EXPECT_FALSE(Listed(kName)->abandoned) << "reported to one wait only";
  ASSERT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

TEST_F(NamedMutexTest, AReleaseInOneProcessEndsTheWaitOfAnother) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kName);
  DWORD waiter = Run(std::wstring(L"wait-mutex ") + kName + L" 30000");
  ASSERT_NE(waiter, 0u);
  // The other process does not get it while this one owns it.
  EXPECT_EQ(platform::WaitForProcess(waiter, 300), std::nullopt);
  ASSERT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(platform::WaitForProcess(waiter, 10000), std::optional<DWORD>(0));
  // It ended owning the mutex: this process takes it abandoned.
  EXPECT_EQ(WaitForSingleObject(mutex, 10000), WAIT_ABANDONED);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

TEST_F(NamedMutexTest, AKilledOwnerDoesNotBlockTheNextProcessForEver) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Global\\READY");
  DWORD holder = Run(std::wstring(L"hold-mutex ") + kName + L" Global\\READY");
  ASSERT_NE(holder, 0u);
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Listed(kName)->ownerProcessId, holder);
  EXPECT_EQ(WaitForSingleObject(mutex, 200), WAIT_TIMEOUT);

  // Killed without a chance to release anything.
  auto record = platform::FindProcess(holder);
  ASSERT_TRUE(record && record->hostPid > 0);
  ASSERT_EQ(::kill(record->hostPid, SIGKILL), 0);
  EXPECT_EQ(WaitForSingleObject(mutex, 10000), WAIT_ABANDONED);
  EXPECT_EQ(Listed(kName)->ownerProcessId, platform::CurrentProcessRecord().id);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  CloseHandle(ready);
}

TEST_F(NamedMutexTest, AMutexHeldOnlyByAKilledProcessIsGoneAndCreatedAfresh) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Global\\READY");
  DWORD holder = Run(std::wstring(L"hold-mutex ") + kName + L" Global\\READY");
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, holder);
  ASSERT_TRUE(TerminateProcess(process, 1));
  CloseHandle(process);
  EXPECT_FALSE(Listed(kName));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  CloseHandle(ready);
}

TEST_F(NamedMutexTest, AccessIsCheckedAndFaultsFailTheCalls) {
  HANDLE owner = CreateMutexW(nullptr, FALSE, kName);
  HANDLE waiter = OpenMutexW(SYNCHRONIZE, FALSE, kName);
  ASSERT_NE(waiter, nullptr);
  ASSERT_EQ(WaitForSingleObject(waiter, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(ReleaseMutex(waiter));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(ReleaseMutex(owner)) << "the thread owns it, whichever handle it releases through";
  HANDLE releaser = OpenMutexW(MUTEX_MODIFY_STATE, FALSE, kName);
  EXPECT_EQ(WaitForSingleObject(releaser, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  platform::InjectFault({"CreateMutex", kName, ERROR_ACCESS_DENIED, 1});
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, kName), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::InjectFault({"OpenMutex", kName, ERROR_ACCESS_DENIED, 1});
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, kName), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // An event is not a mutex.
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_FALSE(ReleaseMutex(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
  CloseHandle(owner);
  CloseHandle(waiter);
  CloseHandle(releaser);
}

TEST_F(NamedMutexTest, AnUnnamedMutexIsThisProcessesAndNotListed) {
  HANDLE first = CreateMutexW(nullptr, TRUE, nullptr);
  HANDLE second = CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "each unnamed mutex is a new one";
  EXPECT_TRUE(platform::ListMutexes().empty());
  DWORD seen = WAIT_FAILED;
  std::thread other([&] { seen = WaitForSingleObject(first, 0); });
  other.join();
  EXPECT_EQ(seen, WAIT_TIMEOUT);
  std::thread taker([&] {
    seen = WaitForSingleObject(second, 0);
    ReleaseMutex(second);
  });
  taker.join();
  EXPECT_EQ(seen, WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(first));
  CloseHandle(first);
  CloseHandle(second);
}

TEST_F(NamedMutexTest, WinsimShowsWhoOwnsEachMutex) {
  HANDLE owned = CreateMutexW(nullptr, TRUE, kName);
  HANDLE unowned = CreateMutexW(nullptr, FALSE, L"Global\\FREE");
  testing_support::ChildResult run = testing_support::RunChild({testing_support::BuiltProgram("tools/winsim"), "mutexes"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(run.output, "Global\\BVL_TEST_MUTEX\towned by process " + std::to_string(platform::CurrentProcessRecord().id) +
                            "\nGlobal\\FREE\tfree\n");
  ReleaseMutex(owned);
  CloseHandle(owned);
  CloseHandle(unowned);
}

}  // namespace
