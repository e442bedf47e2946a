// Machine folders: finding the current machine, creating one from a profile,
// and the profile file.
#include "platform/machine.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/file_lock.h"
#include "platform/machine_setup.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

// Recursive: populating the default machine on first use runs operations that ask
// for the current machine again, on the same thread.
std::recursive_mutex g_machineMutex;
Machine* g_current = nullptr;

// Every machine object this process made: references handed out by Current()
// stay valid after the process switches to another machine.
std::vector<std::unique_ptr<Machine>>& AllMachines() {
  static std::vector<std::unique_ptr<Machine>> machines;
  return machines;
}

Machine* Keep(Machine* machine) {
  AllMachines().emplace_back(machine);
  return machine;
}

fs::path DefaultMachineFolder() {
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".bvlsim" / "default";
}

nlohmann::json ToJson(const Profile& p) {
  return {{"name", p.name},
          {"major", p.major},
          {"minor", p.minor},
          {"build", p.build},
          {"servicePackMajor", p.servicePackMajor},
          {"servicePackMinor", p.servicePackMinor},
          {"workstation", p.workstation},
          {"personalSuite", p.personalSuite},
          {"hasCurrentMajorVersionNumber", p.hasCurrentMajorVersionNumber},
          {"hasGetProductInfo", p.hasGetProductInfo},
          {"productType", p.productType},
          {"mediaCenter", p.mediaCenter},
          {"starter", p.starter},
          {"tabletPc", p.tabletPc},
          {"x64", p.x64},
          {"ansiCodePage", p.ansiCodePage},
          {"locale", p.locale},
          {"screenWidth", p.screenWidth},
          {"screenHeight", p.screenHeight},
          {"desktopUser", p.desktopUser},
          {"installerUser", p.installerUser},
          {"explorerRunning", p.explorerRunning}};
}

Profile FromJson(const nlohmann::json& j) {
  Profile p;
  p.name = j.value("name", p.name);
  p.major = j.value("major", p.major);
  p.minor = j.value("minor", p.minor);
  p.build = j.value("build", p.build);
  p.servicePackMajor = j.value("servicePackMajor", p.servicePackMajor);
  p.servicePackMinor = j.value("servicePackMinor", p.servicePackMinor);
  p.workstation = j.value("workstation", p.workstation);
  p.personalSuite = j.value("personalSuite", p.personalSuite);
  p.hasCurrentMajorVersionNumber = j.value("hasCurrentMajorVersionNumber", p.hasCurrentMajorVersionNumber);
  p.hasGetProductInfo = j.value("hasGetProductInfo", p.hasGetProductInfo);
  p.productType = j.value("productType", p.productType);
  p.mediaCenter = j.value("mediaCenter", p.mediaCenter);
  p.starter = j.value("starter", p.starter);
  p.tabletPc = j.value("tabletPc", p.tabletPc);
  p.x64 = j.value("x64", p.x64);
  p.ansiCodePage = j.value("ansiCodePage", p.ansiCodePage);
  p.locale = j.value("locale", p.locale);
  p.screenWidth = j.value("screenWidth", p.screenWidth);
  p.screenHeight = j.value("screenHeight", p.screenHeight);
  p.desktopUser = j.value("desktopUser", p.desktopUser);
  p.installerUser = j.value("installerUser", p.installerUser);
  p.explorerRunning = j.value("explorerRunning", p.explorerRunning);
  return p;
}

// A folder that may be replaced by a new machine: absent, empty, or a machine.
bool Replaceable(const fs::path& folder) {
  std::error_code error;
  if (!fs::exists(folder, error)) return true;
  if (fs::exists(folder / "profile.json", error)) return true;
  return fs::is_directory(folder, error) && fs::is_empty(folder, error);
}

}  // namespace

bool SaveProfile(const fs::path& folder, const Profile& profile) {
  return WriteFileAtomically(folder / "profile.json", ToJson(profile).dump(1));
}

std::optional<Profile> LoadProfile(const fs::path& folder) {
  auto content = ReadWholeFile(folder / "profile.json");
  if (!content) return std::nullopt;
  nlohmann::json doc = nlohmann::json::parse(*content, nullptr, false);
  if (!doc.is_object()) return std::nullopt;
  return FromJson(doc);
}

Machine::Machine(fs::path root) : root_(std::move(root)) {
  if (auto profile = LoadProfile(root_)) profile_ = *profile;
}

Machine& Machine::Current() {
  std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
  if (!g_current) {
    const char* variable = std::getenv(kMachineVariable);
    fs::path folder = variable && *variable ? fs::path(variable) : DefaultMachineFolder();
    std::error_code error;
    if (!fs::exists(folder / "profile.json", error)) {
      // First use: the default machine, created the way winsim creates one.
      CreateMachineFiles(folder, *FindProfile(DefaultProfileName()), nullptr);
      g_current = Keep(new Machine(folder));
      PopulateMachine(*g_current);
    } else {
      g_current = Keep(new Machine(folder));
    }
  }
  return *g_current;
}

void Machine::Use(const fs::path& folder) {
  std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
  g_current = Keep(new Machine(fs::absolute(folder)));
  ::setenv(kMachineVariable, g_current->root_.c_str(), 1);
}

bool CreateMachine(const fs::path& folder, const Profile& profile, std::string* error) {
  if (!Replaceable(folder)) {
    if (error) *error = "refusing to replace " + folder.string() + ": it is not a machine folder";
    return false;
  }
  fs::path absolute = fs::absolute(folder);
  if (!CreateMachineFiles(absolute, profile, error)) return false;
  // Populate through the machine's own operations, with it current for a moment.
  Machine* previous;
  {
    std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
    previous = g_current;
    g_current = Keep(new Machine(absolute));
  }
  PopulateMachine(*g_current);
  {
    std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
    if (previous) g_current = previous;
  }
  return true;
}

}  // namespace platform
