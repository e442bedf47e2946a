// The layers of the product, read from the include lines of every product
// file: each folder includes only the folders it may use, Qt stays in the
// wizard, and only platform/ sees the host (its system headers, its libraries,
// the simulated machine's internals). Product code is meant to build for
// Windows unchanged; an include that breaks that fails here, named by file and
// line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What each product folder may include besides the C++ standard library.
const std::map<std::string, std::set<std::string>>& AllowedFolders() {
  static const std::map<std::string, std::set<std::string>> allowed = {
      {"platform", {"platform"}},
      {"system", {"platform", "system"}},
      {"settings", {"platform", "system", "settings"}},
      {"engine", {"platform", "system", "settings", "engine"}},
      {"crash", {"platform", "crash"}},
      {"ui", {"platform", "ui"}},
      {"app", {"platform", "system", "settings", "engine", "crash", "ui", "app"}},
  };
  return allowed;
}

// The Win32-shaped interface of platform/: the headers product code may
// include. Every other platform header belongs to the simulated machine.
const std::set<std::string>& PlatformInterface() {
  static const std::set<std::string> headers = {
      "platform/codepage.h", "platform/crash_points.h", "platform/crypto.h", "platform/debug_output.h",
      "platform/devices.h", "platform/display.h", "platform/environment.h", "platform/exception_dispatch.h",
      "platform/files.h", "platform/internet_settings.h", "platform/little_endian.h", "platform/locale.h", "platform/minidump.h",
      "platform/process.h", "platform/process_snapshot.h", "platform/registry.h", "platform/resources.h",
      "platform/rpc_uuid.h", "platform/services.h", "platform/shell_execute.h", "platform/sync.h",
      "platform/sys_colors.h", "platform/system_time.h", "platform/threads.h", "platform/top_level_windows.h",
      "platform/trust.h", "platform/version.h", "platform/win_types.h", "platform/winhttp.h",
  };
  return headers;
}

// The C++17 standard library headers.
const std::set<std::string>& StandardHeaders() {
  static const std::set<std::string> headers = {
      "algorithm", "any", "array", "atomic", "bitset", "cassert", "cctype", "cerrno", "cfenv", "cfloat",
      "charconv", "chrono", "cinttypes", "climits", "clocale", "cmath", "codecvt", "complex",
      "condition_variable", "csetjmp", "csignal", "cstdarg", "cstddef", "cstdint", "cstdio", "cstdlib",
      "cstring", "ctime", "cuchar", "cwchar", "cwctype", "deque", "exception", "execution", "forward_list",
      "fstream", "functional", "future", "initializer_list", "iomanip", "ios", "iosfwd", "iostream",
      "istream", "iterator", "limits", "list", "locale", "map", "memory", "memory_resource", "mutex", "new",
      "numeric", "optional", "ostream", "queue", "random", "ratio", "regex", "scoped_allocator", "set",
      "shared_mutex", "sstream", "stack", "stdexcept", "streambuf", "string", "string_view", "system_error",
      "thread", "tuple", "type_traits", "typeindex", "typeinfo", "unordered_map", "unordered_set",
      "utility", "valarray", "variant", "vector",
  };
  return headers;
}

// Standard headers that are the host all the same: files and folders go
// through the machine's file calls, and a signal is a Linux way of crashing.
const std::set<std::string>& HostStandardHeaders() {
  static const std::set<std::string> headers = {"filesystem", "csignal"};
  return headers;
}

// Libraries both builds of the product have, usable outside platform/:
// zlib and nlohmann's JSON values.
bool IsSharedLibraryHeader(const std::string& header) {
  return header == "zlib.h" || header.rfind("nlohmann/", 0) == 0;
}

// The native wizard of the Windows build (app/windows/, ui/windows/) is
// Win32 by nature, as the Linux build's wizard is Qt: it may include the
// Windows SDK's headers and the Windows implementation's loader of system
// libraries. No other product file may.
bool InNativeWizard(const std::string& file) {
  return file.rfind("app/windows/", 0) == 0 || file.rfind("ui/windows/", 0) == 0;
}

bool IsWindowsSdkHeader(const std::string& header) {
  static const std::set<std::string> headers = {
      "windows.h", "commctrl.h", "richedit.h", "d2d1.h", "d2d1helper.h", "dwrite.h", "objidl.h", "shlobj.h",
      "uxtheme.h", "ole2.h", "olectl.h", "ocidl.h", "unknwn.h", "gdiplus.h", "wincodec.h", "windowsx.h",
  };
  return headers.count(header) > 0 || header.rfind("gdiplus/", 0) == 0;
}

bool IsQtHeader(const std::string& header) {
  static const std::regex qt("Qt?[A-Z][A-Za-z]*(/.*)?");
  return std::regex_match(header, qt);
}

struct Include {
  bool angled = false;  // <...> rather than "..."
  std::string header;
  int line = 0;
};

std::vector<Include> IncludesOf(std::istream& text) {
  static const std::regex directive(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::vector<Include> includes;
  std::string line;
  int number = 0;
  while (std::getline(text, line)) {
    ++number;
    std::smatch match;
    if (std::regex_search(line, match, directive)) includes.push_back({match[1] == "<", match[2], number});
  }
  return includes;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find('/')); }

// What is wrong with one include of the product file `file` (a path such as
// "engine/zip_layout.cpp"); empty when nothing is.
std::string Problem(const std::string& file, const Include& include) {
  const std::string folder = FolderOf(file);
  const std::string& header = include.header;
  if (!include.angled) {
    if (header.find('/') == std::string::npos) return "names no folder";
    if (InNativeWizard(file) && header == "platform/windows/system_library.h") return "";
    const std::string target = FolderOf(header);
    if (!AllowedFolders().count(target)) return "is no product folder";
    if (!AllowedFolders().at(folder).count(target)) return folder + "/ may not use " + target + "/";
    if (folder != "platform" && target == "platform" && !PlatformInterface().count(header)) {
      return "is the simulated machine's own, not the platform interface";
    }
    return "";
  }
  if (IsQtHeader(header)) {
    return folder == "app" || folder == "ui" ? "" : "is Qt, which only the wizard (app/, ui/) uses";
  }
  if (folder == "platform") return "";
  if (InNativeWizard(file) && IsWindowsSdkHeader(header)) return "";
  if (HostStandardHeaders().count(header)) return "reaches the host, which only platform/ may";
  if (StandardHeaders().count(header) || IsSharedLibraryHeader(header)) return "";
  return "is a host or library header, which only platform/ may use";
}

// Every problem of the file's include lines, as "file:line: <header> why".
std::vector<std::string> ProblemsOf(const std::string& file, std::istream& text) {
  std::vector<std::string> problems;
  for (const Include& include : IncludesOf(text)) {
    const std::string why = Problem(file, include);
    if (why.empty()) continue;
    const std::string spelt = include.angled ? "<" + include.header + ">" : "\"" + include.header + "\"";
    problems.push_back(file + ":" + std::to_string(include.line) + ": " + spelt + " " + why);
  }
  return problems;
}

std::vector<std::string> ProblemsOfText(const std::string& file, const std::string& text) {
  std::istringstream stream(text);
  return ProblemsOf(file, stream);
}

// The product's sources and headers, as paths relative to the source tree.
std::vector<std::string> ProductFiles(const std::string& folder) {
  std::vector<std::string> files;
  const fs::path root(BVL_SOURCE_DIR);
  for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".cpp" || extension == ".h") files.push_back(entry.path().lexically_relative(root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Listed(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + line;
  return text;
}

TEST(Layering, EveryProductFileIncludesOnlyWhatItsLayerMayUse) {
  std::vector<std::string> problems;
  for (const auto& [folder, allowed] : AllowedFolders()) {
    const std::vector<std::string> files = ProductFiles(folder);
    ASSERT_FALSE(files.empty()) << "no sources in " << folder << "/";
    for (const std::string& file : files) {
      std::ifstream text(fs::path(BVL_SOURCE_DIR) / file);
      ASSERT_TRUE(text) << file;
      const std::vector<std::string> found = ProblemsOf(file, text);
      problems.insert(problems.end(), found.begin(), found.end());
    }
  }
  EXPECT_TRUE(problems.empty()) << problems.size() << " include(s) break the layers:" << Listed(problems);
}

TEST(Layering, ThePlatformInterfaceShowsNoHostAndNoSimulationInternals) {
  // Product code sees whatever these headers include, so they keep to what
  // product code may include itself.
  std::vector<std::string> problems;
  for (const std::string& header : PlatformInterface()) {
    std::ifstream text(fs::path(BVL_SOURCE_DIR) / header);
    ASSERT_TRUE(text) << header << " is listed as the platform interface but does not exist";
    const std::vector<std::string> found = ProblemsOf("system/" + header.substr(header.find('/') + 1), text);
    for (const std::string& problem : found) problems.push_back(header + " (as product code sees it): " + problem);
  }
  EXPECT_TRUE(problems.empty()) << Listed(problems);
}

TEST(Layering, ThePlatformInterfaceListsOnlyWhatProductCodeUses) {
  // A header nobody outside platform/ includes belongs to the simulation, and
  // listing it would let product code start to lean on the machine's insides.
  std::set<std::string> unused = PlatformInterface();
  for (const auto& [folder, allowed] : AllowedFolders()) {
    if (folder == "platform") continue;
    for (const std::string& file : ProductFiles(folder)) {
      std::ifstream text(fs::path(BVL_SOURCE_DIR) / file);
      for (const Include& include : IncludesOf(text)) unused.erase(include.header);
    }
  }
  EXPECT_TRUE(unused.empty()) << "listed as the platform interface, included by no product file:"
                              << Listed(std::vector<std::string>(unused.begin(), unused.end()));
}

// A Windows structure's size field written as a number is right for one
// target only: SHELLEXECUTEINFOW is 60 bytes in a 32-bit program and 112 in a
// 64-bit one. Product code takes such sizes from sizeof or the interface's
// constant (win::kShellExecuteInfoSize).
TEST(Layering, NoProductFileWritesAStructureSizeAsANumber) {
  static const std::regex literalSize(R"(\b(cbSize|cb|nLength|dwSize)\s*=\s*[0-9])");
  std::vector<std::string> problems;
  for (const auto& [folder, allowed] : AllowedFolders()) {
    if (folder == "platform") continue;
    for (const std::string& file : ProductFiles(folder)) {
      std::ifstream text(fs::path(BVL_SOURCE_DIR) / file);
      std::string line;
      for (int number = 1; std::getline(text, line); ++number) {
        if (std::regex_search(line, literalSize)) problems.push_back(file + ":" + std::to_string(number) + ": " + line);
      }
    }
  }
  EXPECT_TRUE(problems.empty()) << "sizes that hold for one target only:" << Listed(problems);
}

// The rules themselves, on include lines written for the purpose: each wrong
// kind of include is found, and the right ones pass.
TEST(Layering, TheRulesFindEachKindOfWrongInclude) {
  struct Row {
    const char* file;
    const char* line;
    bool wrong;
  };
  const Row rows[] = {
      {"system/a.cpp", "#include \"engine/component_info.h\"", true},     // a layer above
      {"system/a.cpp", "#include \"settings/registry_helpers.h\"", true},  // a layer above
      {"settings/a.cpp", "#include \"system/kv_system.h\"", false},
      {"engine/a.cpp", "#include \"app/installer_dlg.h\"", true},
      {"engine/a.cpp", "#include \"ui/button.h\"", true},
      {"crash/a.cpp", "#include \"settings/http_client.h\"", true},  // crash stands beside the layers
      {"platform/a.cpp", "#include \"system/kv_system.h\"", true},
      {"app/a.cpp", "#include \"crash/crash_reporter.h\"", false},
      {"engine/a.cpp", "#include <QString>", true},
      {"ui/a.cpp", "#include <QString>", false},
      {"engine/a.cpp", "#  include <unistd.h>", true},
      {"crash/a.cpp", "#include <sys/types.h>", true},
      {"settings/a.cpp", "#include <filesystem>", true},
      {"crash/a.cpp", "#include <pthread.h>", true},
      {"settings/a.cpp", "#include <openssl/seed.h>", true},
      {"settings/a.cpp", "#include <boost/asio.hpp>", true},
      {"settings/a.cpp", "#include <cpprest/json.h>", true},  // no Windows build of it
      {"settings/a.cpp", "#include <nlohmann/json.hpp>", false},
      {"platform/a.cpp", "#include <unistd.h>", false},
      {"engine/a.cpp", "#include <zlib.h>", false},
      {"engine/a.cpp", "#include <vector>", false},
      {"crash/a.cpp", "#include \"platform/sim/machine/machine.h\"", true},  // the simulation's internals
      {"settings/a.cpp", "#include \"platform/sim/machine/paths.h\"", true},
      {"platform/sim/a.cpp", "#include \"platform/sim/machine/machine.h\"", false},
      {"crash/a.cpp", "#include \"platform/version.h\"", false},
      {"engine/a.cpp", "#include \"zip_layout.h\"", true},
      {"engine/a.cpp", "// #include is how a file names another", false},
      {"app/windows/a.cpp", "#include <windows.h>", false},  // the native wizard
      {"ui/windows/a.cpp", "#include <d2d1.h>", false},
      {"ui/windows/a.cpp", "#include \"platform/windows/system_library.h\"", false},
      {"app/a.cpp", "#include <windows.h>", true},  // the wizard's shared files stay portable
      {"engine/a.cpp", "#include <commctrl.h>", true},
      {"ui/a.cpp", "#include \"platform/windows/system_library.h\"", true},
      {"app/windows/a.cpp", "#include \"platform/windows/registry.h\"", true},
  };
  for (const Row& row : rows) {
    const std::vector<std::string> problems = ProblemsOfText(row.file, row.line);
    EXPECT_EQ(!problems.empty(), row.wrong) << row.file << ": " << row.line << Listed(problems);
  }
}

}  // namespace
