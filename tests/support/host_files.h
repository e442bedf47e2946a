// Whole host files read and written by tests (the simulated machine's files
// through their host paths, fixtures, logs).
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// The file's bytes; empty when it cannot be read.
std::string ReadHostFile(const std::filesystem::path& file);
// Writes `bytes` as the whole file, creating its folders.
bool WriteHostFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace testing_support
