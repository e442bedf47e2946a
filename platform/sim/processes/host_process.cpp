// Host process identity and liveness from /proc, and pidfds for waiting.
//
// A process can end, and be reaped, at any moment while its /proc entry is
// read: opening the file then fails, or a read fails with ESRCH. Both mean
// the process has ended; the file is read with plain system calls so that
// neither becomes an exception.
#include "platform/sim/processes/host_process.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

namespace platform {
namespace {

// /proc/<pid>/stat is a few hundred bytes; anything longer is not one.
constexpr std::size_t kStatLimit = 64 * 1024;

// The whole of a small file; false on any failure, and for a file longer
// than `limit`.
bool ReadWholeSmallFile(const std::string& path, std::size_t limit, std::string* content) {
  content->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  char buffer[1024];
  while (true) {
    const ssize_t count = ::read(fd, buffer, sizeof(buffer));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 || content->size() + static_cast<std::size_t>(count) > limit) {
      ok = false;
      break;
    }
    if (count == 0) break;
    content->append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool ReadHostProcessStat(int pid, std::vector<std::string>* fields) {
  fields->clear();
  if (pid <= 0) return false;
  std::string content;
  if (!ReadWholeSmallFile("/proc/" + std::to_string(pid) + "/stat", kStatLimit, &content)) return false;
  // "pid (command) state ...": the command may hold spaces and parentheses,
  // so the fields begin after the last ')'.
  const std::size_t close = content.rfind(')');
  if (close == std::string::npos) return false;
  std::size_t at = close + 1;
  while (at < content.size()) {
    const std::size_t begin = content.find_first_not_of(" \n", at);
    if (begin == std::string::npos) break;
    const std::size_t end = content.find_first_of(" \n", begin);
    fields->push_back(content.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    at = end == std::string::npos ? content.size() : end;
  }
  return !fields->empty();
}

long long HostProcessStartTime(int pid) {
  std::vector<std::string> fields;
  if (!ReadHostProcessStat(pid, &fields) || fields.size() <= kStatStartTime) return kNoHostProcess;
  if (fields[kStatState] == "Z" || fields[kStatState] == "X") return kNoHostProcess;  // ended, waiting to be reaped
  const std::string& text = fields[kStatStartTime];
  long long start = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), start);
  if (error != std::errc() || end != text.data() + text.size() || start < 0) return kNoHostProcess;
  return start;
}

HostProcess CurrentHostProcess() {
  HostProcess self;
  self.pid = static_cast<int>(::getpid());
  self.start = HostProcessStartTime(self.pid);
  return self;
}

bool HostProcessRunning(const HostProcess& process) {
  const long long start = HostProcessStartTime(process.pid);
  return start != kNoHostProcess && start == process.start;
}

int OpenHostProcessDescriptor(int pid) {
#ifdef SYS_pidfd_open
  if (pid > 0) return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
  return -1;
}

}  // namespace platform
