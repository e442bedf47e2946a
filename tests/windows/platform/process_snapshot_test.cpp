// The process snapshot on the real system: another thread stopped and read
// (its stack pointer and the stack above it), the modules with the program
// first, and reads of this process's memory that refuse unreadable ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <thread>

#include "platform/process_snapshot.h"

#include "platform/windows/windows_api.h"

namespace {

constexpr std::uint32_t kMarker = 0x5EED1234;

bool Holds(const std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (std::size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, &value, 4) == 0) return true;
  }
  return false;
}

TEST(ProcessSnapshotTest, AnotherThreadIsReadFromItsStackPointerUpwardsAndResumes) {
  ::HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::promise<::DWORD> started;
  std::thread other([&] {
    volatile std::uint32_t marker = kMarker;  // on this thread's stack while it waits
    started.set_value(::GetCurrentThreadId());
    ::WaitForSingleObject(release, INFINITE);
    (void)marker;
  });
  const ::DWORD otherId = started.get_future().get();
  win::CONTEXT requesting{};
  volatile int here = 0;
  requesting.Rsp = reinterpret_cast<std::uintptr_t>(&here);
  const win::DWORD self = ::GetCurrentThreadId();

  const platform::ProcessSnapshot snapshot = platform::CaptureProcess(self, requesting, 64 * 1024);
  ::SetEvent(release);
  other.join();  // it was resumed

  ASSERT_FALSE(snapshot.threads.empty());
  EXPECT_EQ(snapshot.threads[0].threadId, self);
  EXPECT_EQ(snapshot.threads[0].stackStart, requesting.Rsp);
  EXPECT_FALSE(snapshot.threads[0].stack.empty());
  EXPECT_EQ(std::count_if(snapshot.threads.begin(), snapshot.threads.end(),
                          [&](const auto& t) { return t.threadId == self; }),
            1);
  auto read = std::find_if(snapshot.threads.begin(), snapshot.threads.end(),
                           [&](const auto& t) { return t.threadId == otherId; });
  ASSERT_NE(read, snapshot.threads.end());
  ASSERT_TRUE(read->hasContext);
  EXPECT_EQ(read->stackStart, read->context.Rsp);
  EXPECT_LE(read->stack.size(), 64u * 1024u);
  EXPECT_TRUE(Holds(read->stack, kMarker)) << "the waiting thread's own stack was copied";

  ASSERT_GT(snapshot.modules.size(), 2u);
  wchar_t self_path[1024] = {};
  ::GetModuleFileNameW(nullptr, self_path, 1024);
  EXPECT_EQ(snapshot.modules[0].path, self_path);
  EXPECT_TRUE(std::is_sorted(snapshot.modules.begin() + 1, snapshot.modules.end(),
                             [](const auto& a, const auto& b) { return a.base < b.base; }));
  ::CloseHandle(release);
}

TEST(ProcessSnapshotTest, OwnMemoryIsReadOnlyWhereAllOfItIsReadable) {
  // Two pages reserved, the first committed and written.
  auto* pages = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pages, nullptr);
  ASSERT_NE(::VirtualAlloc(pages, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
  std::memset(pages, 0xAB, 4096);
  const auto address = reinterpret_cast<std::uintptr_t>(pages);

  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(platform::ReadOwnMemory(address + 4000, 96, &bytes));
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(96, 0xAB));
  const std::vector<std::uint8_t> before = bytes;
  EXPECT_FALSE(platform::ReadOwnMemory(address + 4000, 200, &bytes)) << "runs into the page that is only reserved";
  EXPECT_FALSE(platform::ReadOwnMemory(address + 4096, 16, &bytes));
  EXPECT_EQ(bytes, before) << "a refused read leaves the bytes as they were";
  ::VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
