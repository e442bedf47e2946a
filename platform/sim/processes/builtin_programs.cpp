// Built-in programs: the marker in a stub PE file, the host program it names
// and the stub images themselves.
#include "platform/sim/processes/builtin_programs.h"

#include <unistd.h>

#include <fstream>

#include "platform/sim/images/pe_image.h"

#ifndef BVL_BUILTIN_DIR
#error "BVL_BUILTIN_DIR names the folder of the built-in programs"
#endif

namespace platform {

namespace {

constexpr std::size_t kLongestScan = 1 << 20;
constexpr std::size_t kLongestName = 64;

// Names become part of a host file name: letters, digits, '-' and '_' only,
// so a crafted stub cannot point outside the folder of built-in programs.
bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > kLongestName) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> BuiltinProgramName(const std::filesystem::path& hostFile) {
  std::ifstream in(hostFile, std::ios::binary);
  if (!in) return std::nullopt;
  std::string head(kLongestScan, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (!ParsePeLayout(head)) return std::nullopt;
  std::size_t at = head.find(kBuiltinMarker);
  if (at == std::string::npos) return std::nullopt;
  std::size_t begin = at + std::char_traits<char>::length(kBuiltinMarker);
  std::size_t end = head.find_first_of(std::string("\n\0", 2), begin);
  if (end == std::string::npos) return std::nullopt;
  std::string name = head.substr(begin, end - begin);
  if (!ValidName(name)) return std::nullopt;
  return name;
}

std::optional<std::filesystem::path> BuiltinProgramPath(const std::string& name) {
  if (!ValidName(name)) return std::nullopt;
  std::filesystem::path program = std::filesystem::path(BVL_BUILTIN_DIR) / ("bvlsim-" + name);
  if (::access(program.c_str(), X_OK) != 0) return std::nullopt;
  return program;
}

bool BuiltinProgramIs64Bit(const std::filesystem::path& hostFile) {
  std::ifstream in(hostFile, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  auto layout = ParsePeLayout(head);
  return layout && layout->pe32Plus;
}

std::string BuiltinStubImage(const std::string& machine, const std::string& name, const std::string& description) {
  auto type = PeMachineFromName(machine);
  if (!type || !ValidName(name)) return std::string();
  return BuildPeImage(*type, std::string(kBuiltinMarker) + name + "\n" + description);
}

}  // namespace platform
