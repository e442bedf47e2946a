// A fresh simulated machine per fuzzing process.
#include "fuzz/fuzz_machine.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/sim/machine/machine.h"

namespace fuzzing {
namespace {

class TemporaryMachine {
 public:
  TemporaryMachine() {
    std::string folder = (std::filesystem::temp_directory_path() / "bvl-fuzz-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) Fail("cannot create a temporary folder");
    root_ = folder;
    const auto profile = platform::FindProfile(platform::DefaultProfileName());
    std::string error;
    if (!profile || !platform::CreateMachine(root_, *profile, &error)) Fail(error);
    platform::Machine::Use(root_);
  }
  ~TemporaryMachine() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::filesystem::path& Root() const { return root_; }

 private:
  [[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "fuzz: no simulated machine: %s\n", why.c_str());
    std::exit(1);
  }
  std::filesystem::path root_;
};

}  // namespace

const std::filesystem::path& UseFreshMachine() {
  static const TemporaryMachine machine;
  return machine.Root();
}

}  // namespace fuzzing
