// Advisory file locks and atomic file replacement for machine state files.
#include "platform/sim/files/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace platform {

FileLock::FileLock(const std::filesystem::path& file, bool exclusive) {
  std::string lockPath = file.string() + ".lock";
  fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ >= 0) {
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WriteFileAtomically(const std::filesystem::path& file, const std::string& content) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp = file;
  temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temp, file, error);
  if (error) {
    std::filesystem::remove(temp, error);
    return false;
  }
  return true;
}

}  // namespace platform
