// Running a program of the build as a child process (winsim, the installer)
// and collecting how it ended, what it printed and what a folder held.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct ChildResult {
  bool exited = false;  // ended by exit (not by a signal)
  int exitCode = -1;
  std::string output;   // standard output
  std::string errors;   // standard error
};

// Runs `arguments` (the program first) with `environment` added to this
// process's environment; `unset` names variables to remove.
ChildResult RunChild(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment = {},
                     const std::vector<std::string>& unset = {});

// The path of a program of the build, e.g. "tools/winsim".
std::string BuiltProgram(const std::string& relativePath);

// Every entry below `folder` with its content ("" for a folder), by relative path.
std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder);

}  // namespace testing_support
