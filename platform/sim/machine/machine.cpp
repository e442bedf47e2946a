// Machine folders: finding the current machine, creating one from a profile,
// and the profile file.
#include "platform/sim/machine/machine.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine_setup.h"
#include "platform/sim/machine/machine_stop.h"
#include "platform/sim/machine/state_file.h"

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

constexpr const char* kProfileFile = "profile.json";

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

// profile.json: every member optional (a profile of an older machine lacks
// the newer ones), each of its own type when present.
void DecodeProfile(const StateValue& j, Profile* p) {
  p->name = j.Optional("name").Text(p->name);
  p->major = j.Optional("major").Whole(p->major);
  p->minor = j.Optional("minor").Whole(p->minor);
  p->build = j.Optional("build").Whole(p->build);
  p->servicePackMajor = j.Optional("servicePackMajor").Whole(p->servicePackMajor);
  p->servicePackMinor = j.Optional("servicePackMinor").Whole(p->servicePackMinor);
  p->workstation = j.Optional("workstation").Flag(p->workstation);
  p->personalSuite = j.Optional("personalSuite").Flag(p->personalSuite);
  p->hasCurrentMajorVersionNumber = j.Optional("hasCurrentMajorVersionNumber").Flag(p->hasCurrentMajorVersionNumber);
  p->hasGetProductInfo = j.Optional("hasGetProductInfo").Flag(p->hasGetProductInfo);
  p->productType = j.Optional("productType").Whole(p->productType);
  p->mediaCenter = j.Optional("mediaCenter").Flag(p->mediaCenter);
  p->starter = j.Optional("starter").Flag(p->starter);
  p->tabletPc = j.Optional("tabletPc").Flag(p->tabletPc);
  p->x64 = j.Optional("x64").Flag(p->x64);
  p->ansiCodePage = j.Optional("ansiCodePage").Whole(p->ansiCodePage);
  p->locale = j.Optional("locale").Text(p->locale);
  p->screenWidth = j.Optional("screenWidth").Whole(p->screenWidth);
  p->screenHeight = j.Optional("screenHeight").Whole(p->screenHeight);
  p->desktopUser = j.Optional("desktopUser").Text(p->desktopUser);
  p->installerUser = j.Optional("installerUser").Text(p->installerUser);
  p->explorerRunning = j.Optional("explorerRunning").Flag(p->explorerRunning);
}

// What a folder named for a machine holds. A folder with the creation lock of
// a machine (profile.json.lock) is one where a machine is being made, or one
// whose creation did not finish: it is ours to build in.
enum class FolderContent { kMachine, kNothing, kSomethingElse };

FolderContent Inspect(const fs::path& folder) {
  std::error_code error;
  if (fs::exists(folder / kProfileFile, error)) return FolderContent::kMachine;
  fs::file_status status = fs::status(folder, error);
  if (status.type() == fs::file_type::not_found) return FolderContent::kNothing;
  if (error || status.type() != fs::file_type::directory) return FolderContent::kSomethingElse;
  if (fs::exists(folder / (std::string(kProfileFile) + ".lock"), error)) return FolderContent::kNothing;
  fs::directory_iterator it(folder, error);
  return !error && it == fs::directory_iterator() ? FolderContent::kNothing : FolderContent::kSomethingElse;
}

std::string NotAMachineMessage(const fs::path& folder) {
  return folder.string() + " holds no machine (no " + kProfileFile +
         ") and is not empty; a machine is created only in an absent or empty folder, so it is left untouched";
}

}  // namespace

// Builds a machine in `folder` under its creation lock. The profile is written
// last: a folder is a machine once its profile exists. With `replace`, a
// machine already there is replaced; without it, a machine that another
// process finished meanwhile is kept.
bool Machine::Build(const fs::path& folder, const Profile& profile, bool replace, std::string* error) {
  // Judged before the lock, whose file would already change a foreign folder,
  // and again under it.
  FolderContent content = Inspect(folder);
  if (content == FolderContent::kSomethingElse) {
    if (error) *error = NotAMachineMessage(folder);
    return false;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  FileLock lock(folder / kProfileFile, true);
  content = Inspect(folder);
  if (content == FolderContent::kMachine && !replace) return true;
  if (content == FolderContent::kSomethingElse) {
    if (error) *error = NotAMachineMessage(folder);
    return false;
  }
  // What is left is a machine to replace or the remains of a creation that
  // did not finish; either way the new machine starts from an empty folder.
  {
    const std::string lockName = std::string(kProfileFile) + ".lock";
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->path().filename() != lockName) entries.push_back(it->path());
    }
    for (const fs::path& entry : entries) fs::remove_all(entry, ec);
  }
  if (!CreateMachineFiles(folder, profile, error)) return false;
  // Populate through the machine's own operations, with it current for a moment.
  Machine* previous;
  Machine* building;
  {
    std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
    previous = g_current;
    building = Keep(new Machine(folder, profile));
    g_current = building;
  }
  PopulateMachine(*building);
  {
    std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
    g_current = previous;
  }
  if (!SaveProfile(folder, profile)) {
    if (error) *error = "cannot write the machine folder " + folder.string();
    return false;
  }
  return true;
}

bool SaveProfile(const fs::path& folder, const Profile& profile) {
  return WriteFileAtomically(folder / kProfileFile, ToJson(profile).dump(1));
}

std::optional<Profile> LoadProfile(const fs::path& folder, std::string* problem) {
  Profile profile;
  StateFileRead read =
      TryReadStateFile(folder / kProfileFile, [&](const StateValue& root) { DecodeProfile(root, &profile); });
  if (read.status == StateFileStatus::kSound) return profile;
  if (problem) *problem = read.problem;
  return std::nullopt;
}

// A damaged profile stops the program: no operation of the machine can be
// answered without knowing what Windows it is.
Machine::Machine(fs::path root) : root_(std::move(root)) {
  ReadStateFile(root_ / kProfileFile, [this](const StateValue& root) { DecodeProfile(root, &profile_); });
}

Machine::Machine(fs::path root, Profile profile) : root_(std::move(root)), profile_(std::move(profile)) {}

Machine& Machine::Current() {
  std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
  if (!g_current) {
    const char* variable = std::getenv(kMachineVariable);
    bool named = variable && *variable;
    fs::path folder = fs::absolute(named ? fs::path(variable) : DefaultMachineFolder());
    if (Inspect(folder) != FolderContent::kMachine) {
      // First use: a new machine of the default profile, created the way winsim
      // creates one, but never over anything that is not a machine.
      std::string error;
      if (!Build(folder, *FindProfile(DefaultProfileName()), false, &error)) {
        StopOnUnusableMachine(std::string("the machine folder ") + (named ? "named by " : "") +
                              (named ? kMachineVariable : "by default") + ": " + error);
      }
    }
    g_current = Keep(new Machine(folder));
  }
  return *g_current;
}

void Machine::Use(const fs::path& folder) {
  std::lock_guard<std::recursive_mutex> guard(g_machineMutex);
  g_current = Keep(new Machine(fs::absolute(folder)));
  ::setenv(kMachineVariable, g_current->root_.c_str(), 1);
}

bool CreateMachine(const fs::path& folder, const Profile& profile, std::string* error) {
  fs::path absolute = fs::absolute(folder);
  if (Inspect(absolute) == FolderContent::kSomethingElse) {
    if (error) *error = "refusing to create a machine in " + NotAMachineMessage(absolute);
    return false;
  }
  return Machine::Build(absolute, profile, true, error);
}

}  // namespace platform
