// The installer program run on a simulated machine from folders deep enough
// that its path meets the 260-character module-path buffer: the path it sees
// is cut to 259 characters, and a token cut off with it is no token.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

namespace fs = std::filesystem;

// base64 of "http://127.0.0.1:1": a server nobody answers for.
const std::wstring kToken = L"aHR0cDovLzEyNy4wLjAuMTox";

// A path of exactly `length` characters ending in "\bvlInstaller[<token>].exe",
// its folders at most 60 characters long each.
std::wstring InstallerPathOfLength(std::size_t length) {
  const std::wstring name = L"\\bvlInstaller[" + kToken + L"].exe";
  std::wstring path = L"C:\\Users\\user\\Downloads";
  while (path.size() + name.size() + 1 < length) {
    // A folder is a backslash and 1 to 60 letters; never leave room for a
    // backslash alone.
    const std::size_t room = length - path.size() - name.size();
    std::size_t take = std::min<std::size_t>(61, room);
    if (room - take == 1) --take;
    path += L"\\" + std::wstring(take - 1, L'd');
  }
  return path + name;
}

// Hides the display of this test program (its widgets use the offscreen
// platform) from the installer it starts, and restores it afterwards.
class ScopedNoDisplay {
 public:
  ScopedNoDisplay() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~ScopedNoDisplay() {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name, value->c_str(), 1);
    }
  }

 private:
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

struct RunResult {
  std::string output;
  bool ended = false;
};

RunResult RunInstallerAt(const testing_support::ScopedMachine& machine, const std::wstring& path) {
  const fs::path host = machine.Host(path);
  fs::create_directories(host.parent_path());
  fs::copy_file(fs::path(BVL_BINARY_DIR) / "app" / "bvlInstaller", host, fs::copy_options::overwrite_existing);
  const fs::path out = machine.Root() / "installer-output.txt";
  RunResult result;
  // Without a display the installer reports its start-up on standard output.
  ScopedNoDisplay noDisplay;
  const win::DWORD id = platform::StartProcess(path, L"\"" + path + L"\"", out.string());
  if (id == 0) return result;
  result.ended = platform::WaitForProcess(id, 60000).has_value();
  result.output = testing_support::ReadHostFile(out);
  return result;
}

// The value printed after "<label>:" and its padding, up to the line end.
std::string Reported(const std::string& output, const std::string& label) {
  const std::size_t at = output.find(label + ":");
  if (at == std::string::npos) return "<missing>";
  std::size_t start = output.find_first_not_of(' ', at + label.size() + 1);
  const std::size_t end = output.find('\n', at);
  if (start == std::string::npos || start > end) start = end;
  return output.substr(start, end - start);
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(StartupRun, ModulePathMeetsTheBufferOf260Characters) {
  testing_support::ScopedMachine machine;

  // 259 characters fit with their NUL: the whole path and its token.
  const std::wstring fits = InstallerPathOfLength(259);
  ASSERT_EQ(fits.size(), 259u);
  RunResult run = RunInstallerAt(machine, fits);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(Reported(run.output, "module path"), Narrow(fits));
  EXPECT_EQ(Reported(run.output, "server address"), "http://127.0.0.1:1");
  EXPECT_EQ(Reported(run.output, "server check result"), "1") << run.output;

  // 260 characters: the last one is cut; the token before it still reads.
  const std::wstring oneOver = InstallerPathOfLength(260);
  ASSERT_EQ(oneOver.size(), 260u);
  run = RunInstallerAt(machine, oneOver);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(Reported(run.output, "module path"), Narrow(oneOver.substr(0, 259)));
  EXPECT_EQ(Reported(run.output, "server address"), "http://127.0.0.1:1");

  // Far over: the cut takes the token's closing bracket, so there is no
  // token and the installer refuses to start.
  const std::wstring farOver = InstallerPathOfLength(300);
  ASSERT_EQ(farOver.size(), 300u);
  run = RunInstallerAt(machine, farOver);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(Reported(run.output, "module path"), Narrow(farOver.substr(0, 259)));
  EXPECT_EQ(Reported(run.output, "server address"), "");
  EXPECT_EQ(Reported(run.output, "server check result"), "2");
  EXPECT_NE(run.output.find("start-up refused"), std::string::npos) << run.output;
}

}  // namespace
