// Threads with a stack of the caller's size and the semaphore, on the real
// system.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/threads.h"

#include "platform/windows/windows_api.h"

namespace {

// The whole stack the system reserved for the calling thread: the regions
// of the allocation that holds a local variable.
std::size_t OwnStackReservation() {
  int local = 0;
  ::MEMORY_BASIC_INFORMATION region{};
  ::VirtualQuery(&local, &region, sizeof region);
  void* const allocation = region.AllocationBase;
  const char* end = static_cast<const char*>(allocation);
  while (::VirtualQuery(end, &region, sizeof region) == sizeof region && region.AllocationBase == allocation) {
    end = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  return end - static_cast<const char*>(allocation);
}

TEST(ThreadTest, BodyRunsOnAStackOfTheSizeAskedForUnderTheIdReported) {
  // Between Wine's smallest stack (1 MiB) and the program's default (2 MiB),
  // which the size would only be the first commit of if the system did not
  // take it as the stack's whole reservation.
  constexpr std::size_t kAsked = 1536 * 1024;
  std::atomic<win::DWORD> bodyThread{0};
  std::atomic<std::size_t> stack{0};
  auto thread = platform::Thread::Start(kAsked, [&] {
    bodyThread = ::GetCurrentThreadId();
    stack = OwnStackReservation();
  });
  ASSERT_NE(thread, nullptr);
  const win::DWORD id = thread->Id();
  thread.reset();  // waits for the body
  EXPECT_EQ(id, bodyThread.load());
  EXPECT_NE(id, ::GetCurrentThreadId());
  EXPECT_GE(stack.load(), kAsked);
  EXPECT_LT(stack.load(), 2u * 1024u * 1024u);
}

TEST(SemaphoreTest, EachPostReleasesOneWaitAndAnotherThreadsPostWakesAWaiter) {
  platform::Semaphore semaphore;
  EXPECT_FALSE(semaphore.WaitFor(0));
  semaphore.Post();
  semaphore.Post();
  EXPECT_TRUE(semaphore.WaitFor(0));
  EXPECT_TRUE(semaphore.WaitFor(0));
  EXPECT_FALSE(semaphore.WaitFor(20));
  auto poster = platform::Thread::Start(64 * 1024, [&] { semaphore.Post(); });
  semaphore.Wait();
  poster.reset();
  EXPECT_FALSE(semaphore.WaitFor(0));
}

}  // namespace
