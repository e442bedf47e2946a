// Host process identity and liveness from /proc, and pidfds for waiting.
#include "platform/host_process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace platform {

long long HostProcessStartTime(int pid) {
  if (pid <= 0) return -1;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t close = content.rfind(')');
  if (close == std::string::npos || close + 2 > content.size()) return -1;
  std::istringstream fields(content.substr(close + 2));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X") return -1;  // ended, waiting to be reaped
  std::string field;
  for (int i = 0; i < 19 && fields >> field; ++i) {
  }
  try {
    return std::stoll(field);
  } catch (...) {
    return -1;
  }
}

HostProcess CurrentHostProcess() {
  HostProcess self;
  self.pid = static_cast<int>(::getpid());
  self.start = HostProcessStartTime(self.pid);
  return self;
}

bool HostProcessRunning(const HostProcess& process) {
  return process.pid > 0 && HostProcessStartTime(process.pid) == process.start;
}

int OpenHostProcessDescriptor(int pid) {
#ifdef SYS_pidfd_open
  if (pid > 0) return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
  return -1;
}

}  // namespace platform
