// The ready-made machine profiles.
#include "platform/sim/machine/machine.h"

namespace platform {

namespace {

Profile Make(const char* name, unsigned major, unsigned minor, unsigned spMajor, bool x64) {
  Profile p;
  p.name = name;
  p.major = major;
  p.minor = minor;
  p.servicePackMajor = spMajor;
  p.x64 = x64;
  p.hasCurrentMajorVersionNumber = false;
  p.hasGetProductInfo = major >= 6;
  return p;
}

std::vector<Profile> MakeProfiles() {
  std::vector<Profile> list;

  Profile xp2 = Make("winxp-sp2-x86", 5, 1, 2, false);
  xp2.build = 2600;
  list.push_back(xp2);
  Profile xp3 = Make("winxp-sp3-x86", 5, 1, 3, false);
  xp3.build = 2600;
  list.push_back(xp3);

  Profile win7 = Make("win7-x86", 6, 1, 1, false);
  win7.build = 7601;
  win7.productType = 48;
  list.push_back(win7);

  Profile win81 = Make("win81-x64", 6, 3, 0, true);
  win81.build = 9600;
  win81.productType = 48;
  list.push_back(win81);

  // Windows 10 reports 6.2 to a program without a supported-OS manifest; the
  // registry value CurrentMajorVersionNumber tells it apart.
  Profile win10x86 = Make("win10-x86", 6, 2, 0, false);
  win10x86.build = 19045;
  win10x86.hasCurrentMajorVersionNumber = true;
  win10x86.productType = 48;
  list.push_back(win10x86);
  Profile win10x64 = win10x86;
  win10x64.name = "win10-x64";
  win10x64.x64 = true;
  list.push_back(win10x64);

  // A Windows Server 2003 machine: no version test of the installer matches.
  Profile unknown = Make("unknown-os", 5, 2, 2, true);
  unknown.workstation = false;
  unknown.hasGetProductInfo = false;
  unknown.build = 3790;
  list.push_back(unknown);
  return list;
}

}  // namespace

const std::vector<Profile>& BuiltinProfiles() {
  static const std::vector<Profile> profiles = MakeProfiles();
  return profiles;
}

std::optional<Profile> FindProfile(const std::string& name) {
  for (const Profile& p : BuiltinProfiles()) {
    if (p.name == name) return p;
  }
  return std::nullopt;
}

const char* DefaultProfileName() { return "win10-x64"; }

}  // namespace platform
