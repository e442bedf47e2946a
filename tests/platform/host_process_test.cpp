// Host processes by pid and start time: a process that is gone, ended
// waiting to be reaped, reaped, or ending while its /proc entry is read, is
// "no such process", never an exception and never a running process.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <exception>
#include <string>
#include <thread>

#include "platform/sim/processes/host_process.h"

namespace {

using platform::HostProcess;
using platform::HostProcessRunning;
using platform::HostProcessStartTime;
using platform::kNoHostProcess;

// A child that ends at once; the caller reaps it.
pid_t StartEndingChild() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  return pid;
}

// A child that waits until it is killed.
pid_t StartWaitingChild() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    while (true) ::pause();
  }
  return pid;
}

TEST(HostProcess, ThisProcessRunsWithItsStartTime) {
  const HostProcess self = platform::CurrentHostProcess();
  EXPECT_EQ(self.pid, static_cast<int>(::getpid()));
  EXPECT_GT(self.start, 0);
  EXPECT_TRUE(HostProcessRunning(self));
  EXPECT_FALSE(HostProcessRunning(HostProcess{self.pid, self.start + 1}));  // the pid, reused
}

TEST(HostProcess, PidsThatNameNoProcessAreGone) {
  for (int pid : {0, -1, -12345, INT_MAX}) {
    EXPECT_EQ(HostProcessStartTime(pid), kNoHostProcess) << pid;
    EXPECT_FALSE(HostProcessRunning(HostProcess{pid, 0})) << pid;
    EXPECT_FALSE(HostProcessRunning(HostProcess{pid, kNoHostProcess})) << pid;
  }
}

TEST(HostProcess, ChildIsRunningThenEndedThenReaped) {
  const pid_t pid = StartWaitingChild();
  ASSERT_GT(pid, 0);
  const long long start = HostProcessStartTime(pid);
  EXPECT_GT(start, 0);
  EXPECT_TRUE(HostProcessRunning(HostProcess{pid, start}));

  ::kill(pid, SIGKILL);
  // Ended but not reaped: waitid with WNOWAIT waits for the end and leaves
  // the process waiting to be reaped.
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  EXPECT_EQ(HostProcessStartTime(pid), kNoHostProcess);
  EXPECT_FALSE(HostProcessRunning(HostProcess{pid, start}));

  ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
  EXPECT_EQ(HostProcessStartTime(pid), kNoHostProcess);
  EXPECT_FALSE(HostProcessRunning(HostProcess{pid, start}));
  // A record whose start time was never learnt does not make a gone
  // process look alive.
  EXPECT_FALSE(HostProcessRunning(HostProcess{pid, kNoHostProcess}));
}

// Short-lived children reaped while another thread keeps reading their
// /proc entries: some reads begin before the reap and end after it.
TEST(HostProcess, ProcessesEndingWhileReadGiveAnAnswerNotAnException) {
  std::atomic<int> current{0};
  std::atomic<bool> stop{false};
  std::atomic<int> thrown{0};
  std::string firstError;
  std::thread reader([&] {
    while (!stop.load()) {
      const int pid = current.load();
      if (pid <= 0) continue;
      try {
        HostProcessStartTime(pid);
      } catch (const std::exception& error) {
        if (thrown++ == 0) firstError = error.what();
      }
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int children = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t pid = StartEndingChild();
    if (pid < 0) break;
    current.store(pid);
    ::waitpid(pid, nullptr, 0);
    ++children;
  }
  stop.store(true);
  reader.join();
  EXPECT_GT(children, 0);
  EXPECT_EQ(thrown.load(), 0) << firstError << " (" << children << " children)";
}

}  // namespace
