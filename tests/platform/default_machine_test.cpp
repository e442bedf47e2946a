// A program run with no machine named creates the default machine on first
// use and finds it again on the next run.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/scoped_machine.h"

namespace {

std::string RunCommandLine(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  *status = ::pclose(pipe);
  return output;
}

TEST(DefaultMachineTest, FirstUseCreatesAWindows10Machine) {
  auto home = testing_support::MakeTempFolder("home");
  std::string winsim = std::string(BVL_BINARY_DIR) + "/tools/winsim";
  std::string prefix = "env -u BVLSIM_MACHINE HOME=" + home.string() + " timeout 60 " + winsim;
  int status = -1;
  std::string processes = RunCommandLine(prefix + " processes", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(processes.find("C:\\Windows\\explorer.exe"), std::string::npos) << processes;
  EXPECT_TRUE(std::filesystem::exists(home / ".bvlsim" / "default" / "profile.json"));
  std::string registry = RunCommandLine(prefix + " registry 'HKLM\\SOFTWARE\\Microsoft\\Windows NT'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(registry.find("CurrentMajorVersionNumber"), std::string::npos) << registry;
  std::filesystem::remove_all(home);
}

}  // namespace
