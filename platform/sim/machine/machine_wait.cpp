// Waits driven by inotify on the machine's state folders and by pidfds.
#include "platform/sim/machine/machine_wait.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/sim/processes/host_process.h"

namespace platform {

namespace {

constexpr int kLongestSlice = 50;

// A change worth waking for: a state file replaced or removed. Lock files
// are opened and closed by every reader, and temporary files come and go
// with each write; neither says anything changed.
bool Meaningful(const inotify_event* event) {
  if (event->len == 0) return true;
  std::string name(event->name);
  if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".lock") == 0) return false;
  return name.find(".tmp.") == std::string::npos;
}

// Reads every queued event; true when one of them matters.
bool Drain(int fd) {
  bool meaningful = false;
  alignas(inotify_event) char buffer[4096];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(p);
      if (Meaningful(event)) meaningful = true;
      p += sizeof(inotify_event) + event->len;
    }
  }
  return meaningful;
}

}  // namespace

long long MachineNowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool WaitForMachine(const std::function<bool()>& ready, int timeoutMilliseconds,
                    const std::vector<std::filesystem::path>& folders, int hostPid) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMilliseconds));
  // Watch first, then look: a change between the look and the poll still wakes us.
  int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch >= 0) {
    for (const auto& folder : folders) ::inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_DELETE | IN_CREATE);
  }
  int process = hostPid ? OpenHostProcessDescriptor(hostPid) : -1;
  bool result = false;
  while (true) {
    if (ready()) {
      result = true;
      break;
    }
    int slice = kLongestSlice;
    if (timeoutMilliseconds != kWaitForever) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      slice = static_cast<int>(std::min<long long>(left, kLongestSlice));
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (watch >= 0) fds[count++] = {watch, POLLIN, 0};
    if (process >= 0) fds[count++] = {process, POLLIN, 0};
    if (count == 0) {
      ::usleep(static_cast<useconds_t>(std::min(slice, 5)) * 1000);
      continue;
    }
    ::poll(fds, count, slice);
    if (watch >= 0) Drain(watch);
    if (process >= 0 && (fds[count - 1].revents & POLLIN)) {
      // The process ended: look once more, then stop watching it.
      ::close(process);
      process = -1;
    }
  }
  if (watch >= 0) ::close(watch);
  if (process >= 0) ::close(process);
  return result;
}

}  // namespace platform
