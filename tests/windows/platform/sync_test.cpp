// Named events and mutexes on the real system: "Global\" names shared with
// another process, auto-reset and manual events, ownership held by another
// thread, abandonment, and the inspection lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/process.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "windows/platform/child_program.h"

#include "platform/windows/windows_api.h"

namespace {

using platform_windows::Native;

void Close(win::HANDLE handle) { ::CloseHandle(Native(handle)); }

TEST(NamedEventTest, EventSetByAnotherProcessEndsTheWait) {
  const std::wstring name = L"Global\\" + windows_tests::UniqueName(L"BvlTestEvent");
  win::HANDLE event = win::CreateEventW(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_SUCCESS));
  win::HANDLE again = win::CreateEventW(nullptr, TRUE, TRUE, name.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(win::WaitForSingleObject(again, 0), static_cast<win::DWORD>(WAIT_TIMEOUT)) << "the first states hold";

  const win::DWORD child =
      platform::StartProcess(windows_tests::ChildProgram(), windows_tests::ChildCommand(L"set-event " + name));
  ASSERT_NE(child, 0u);
  EXPECT_EQ(win::WaitForSingleObject(event, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(platform::WaitForProcess(child, 30000), std::optional<win::DWORD>(0));
  // Auto-reset: the wait that saw it took it.
  EXPECT_EQ(win::WaitForSingleObject(again, 0), static_cast<win::DWORD>(WAIT_TIMEOUT));
  Close(again);
  Close(event);

  win::OpenEventW(SYNCHRONIZE, FALSE, name);
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_FILE_NOT_FOUND)) << "gone with its last handle";
}

TEST(NamedEventTest, ManualEventIsListedWithItsState) {
  const std::wstring name = L"Global\\" + windows_tests::UniqueName(L"BvlListedEvent");
  win::HANDLE event = win::CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  win::HANDLE opened = win::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(win::SetEvent(opened));
  auto listed = [&] {
    for (const platform::EventSummary& e : platform::ListEvents()) {
      if (e.name == name) return e;
    }
    return platform::EventSummary{};
  };
  platform::EventSummary summary = listed();
  EXPECT_EQ(summary.name, name);
  EXPECT_TRUE(summary.set);
  EXPECT_TRUE(summary.manualReset);
  // A manual event stays set for every wait until it is reset.
  EXPECT_EQ(win::WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(win::WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(win::ResetEvent(opened));
  EXPECT_FALSE(listed().set);
  Close(opened);
  Close(event);
}

TEST(NamedMutexTest, MutexHeldByAnotherThreadIsTakenOnceReleasedAndAbandonedWhenItsOwnerEnds) {
  const std::wstring name = L"Global\\" + windows_tests::UniqueName(L"BvlTestMutex");
  win::HANDLE mutex = win::CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(mutex, nullptr);
  win::HANDLE taken = win::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  win::HANDLE release = win::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread owner([&] {
    win::HANDLE own = win::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    win::WaitForSingleObject(own, INFINITE);
    win::SetEvent(taken);
    win::WaitForSingleObject(release, INFINITE);
    win::ReleaseMutex(own);
    Close(own);
  });
  ASSERT_EQ(win::WaitForSingleObject(taken, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(win::WaitForSingleObject(mutex, 50), static_cast<win::DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(win::ReleaseMutex(mutex));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_NOT_OWNER));
  win::SetEvent(release);
  owner.join();
  EXPECT_EQ(win::WaitForSingleObject(mutex, 30000), WAIT_OBJECT_0);
  auto mutexes = platform::ListMutexes();
  auto listed = std::find_if(mutexes.begin(), mutexes.end(), [&](const auto& m) { return m.name == name; });
  ASSERT_NE(listed, mutexes.end());
  EXPECT_TRUE(listed->owned);
  EXPECT_EQ(listed->ownerProcessId, win::GetCurrentProcessId());
  EXPECT_TRUE(win::ReleaseMutex(mutex));

  std::thread([&] { win::WaitForSingleObject(mutex, INFINITE); }).join();
  EXPECT_EQ(win::WaitForSingleObject(mutex, 30000), static_cast<win::DWORD>(WAIT_ABANDONED));
  EXPECT_TRUE(win::ReleaseMutex(mutex));
  Close(taken);
  Close(release);
  Close(mutex);
}

TEST(WaitTest, EndlessWaitForThisProcessIsRefused) {
  EXPECT_EQ(win::WaitForSingleObject(win::GetCurrentProcess(), INFINITE), static_cast<win::DWORD>(WAIT_FAILED));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(win::WaitForSingleObject(win::GetCurrentProcess(), 10), static_cast<win::DWORD>(WAIT_TIMEOUT));
}

}  // namespace
