// A fresh simulated machine for one test: created from a profile in a new
// temporary folder, made current for this process (and for child processes
// through BVLSIM_MACHINE), removed afterwards with every program still
// running on it ended.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/machine/machine.h"

namespace testing_support {

class ScopedMachine {
 public:
  explicit ScopedMachine(const std::string& profileName = "win10-x64");
  explicit ScopedMachine(const platform::Profile& profile);
  ~ScopedMachine();
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  // Host path of a file on drive C: given by its Windows path.
  std::filesystem::path Host(const std::wstring& windowsPath) const;

 private:
  void Create(const platform::Profile& profile);
  std::filesystem::path root_;
};

// A new empty temporary folder, removed by the caller.
std::filesystem::path MakeTempFolder(const std::string& prefix);

}  // namespace testing_support
