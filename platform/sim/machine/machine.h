// The simulated Windows machine: a folder that holds one machine's profile,
// registry, drive C:, process table, debug log and injected faults. Every
// process that runs "on" the machine finds it through BVLSIM_MACHINE; without
// it, a default machine is created on first use.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// What kind of Windows a machine is. Numbers are the platform's own.
struct Profile {
  std::string name;              // "win10-x64", ...
  unsigned major = 10;           // OS version as the version queries report it
  unsigned minor = 0;
  unsigned build = 19045;
  unsigned servicePackMajor = 0;
  unsigned servicePackMinor = 0;
  bool workstation = true;       // VER_NT_WORKSTATION, else a server
  bool personalSuite = false;    // VER_SUITE_PERSONAL (XP Home)
  bool hasCurrentMajorVersionNumber = true;  // the Windows 10 registry value
  bool hasGetProductInfo = true; // kernel32 exports GetProductInfo (Vista and later)
  unsigned productType = 48;     // GetProductInfo's product type
  bool mediaCenter = false;      // GetSystemMetrics(SM_MEDIACENTER)
  bool starter = false;          // GetSystemMetrics(SM_STARTER)
  bool tabletPc = false;         // GetSystemMetrics(SM_TABLETPC)
  bool x64 = true;               // native architecture AMD64, else Intel x86
  unsigned ansiCodePage = 949;   // CP_ACP and CP_THREAD_ACP
  std::string locale = "ko";     // ISO 639 name of the user's default locale
  int screenWidth = 1920;
  int screenHeight = 1080;
  std::string desktopUser = "user";       // the logged-on user whose shell runs
  std::string installerUser = "Administrator";  // the account the installer runs as
  bool explorerRunning = true;   // whether the desktop user's explorer.exe runs
};

// Ready-made profiles: winxp-sp2-x86, winxp-sp3-x86, win7-x86, win81-x64,
// win10-x86, win10-x64 (the default) and unknown-os (no version query matches).
const std::vector<Profile>& BuiltinProfiles();
std::optional<Profile> FindProfile(const std::string& name);
const char* DefaultProfileName();

// The environment variable through which processes find their machine.
constexpr const char* kMachineVariable = "BVLSIM_MACHINE";

// Creates a fresh machine in `folder` from `profile`: drive C: with its system
// folders, the registry with the keys Windows always has, the machine
// environment and the desktop user's shell. The folder must be absent, empty
// or a machine (which is replaced); any other folder is refused and left
// untouched. Returns false (with a message in `error`) when the folder is
// refused or cannot be written.
bool CreateMachine(const std::filesystem::path& folder, const Profile& profile, std::string* error = nullptr);

// The machine that this process runs on.
class Machine {
 public:
  // The current machine: BVLSIM_MACHINE, or the default machine under
  // $HOME/.bvlsim/default. A folder without a machine gets a new one of the
  // default profile when it is absent or empty; any other folder stops the
  // program (machine_stop.h) and is left untouched.
  static Machine& Current();
  // Points this process at another machine folder (tests create one each).
  static void Use(const std::filesystem::path& folder);

  const std::filesystem::path& Root() const { return root_; }
  const Profile& GetProfile() const { return profile_; }

  std::filesystem::path DriveC() const { return root_ / "drive_c"; }
  std::filesystem::path RegistryFile() const { return root_ / "registry.json"; }
  std::filesystem::path DebugLog() const { return root_ / "debug.log"; }
  std::filesystem::path FaultsFile() const { return root_ / "faults.json"; }
  std::filesystem::path LocksFile() const { return root_ / "locks.json"; }
  std::filesystem::path TrustedRootsFile() const { return root_ / "trusted_roots.pem"; }
  std::filesystem::path StateFolder() const { return root_ / "state"; }

 private:
  friend bool CreateMachine(const std::filesystem::path&, const Profile&, std::string*);
  explicit Machine(std::filesystem::path root);
  Machine(std::filesystem::path root, Profile profile);
  static bool Build(const std::filesystem::path& folder, const Profile& profile, bool replace, std::string* error);
  std::filesystem::path root_;
  Profile profile_;
};

// Reads and writes a machine's profile file. LoadProfile gives nullopt when
// the file is absent or damaged (then with the problem in `problem`).
bool SaveProfile(const std::filesystem::path& folder, const Profile& profile);
std::optional<Profile> LoadProfile(const std::filesystem::path& folder, std::string* problem = nullptr);

}  // namespace platform
