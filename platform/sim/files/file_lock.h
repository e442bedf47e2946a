// Advisory locks and atomic replacement for the files of a machine folder, so
// that several processes of one machine can read and write them at once.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// Holds an flock on "<file>.lock" for its lifetime; exclusive or shared.
class FileLock {
 public:
  FileLock(const std::filesystem::path& file, bool exclusive);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

// The whole content of a file; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);
// Writes through a temporary file in the same folder and renames it over the
// target, so readers see the old or the new content, never a part.
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& content);

}  // namespace platform
