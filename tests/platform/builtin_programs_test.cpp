// Built-in programs: the stub marker, names that cannot leave the folder of
// built-in programs, and the schtasks.exe a new machine gets.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/sim/processes/builtin_programs.h"
#include "platform/sim/images/pe_image.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

void Write(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

TEST(BuiltinProgramTest, StubNamesItsProgramAfterTheMarker) {
  auto folder = testing_support::MakeTempFolder("builtin");
  Write(folder / "a.exe", platform::BuiltinStubImage("i386", "schtasks", "Task Scheduler"));
  EXPECT_EQ(platform::BuiltinProgramName(folder / "a.exe"), std::optional<std::string>("schtasks"));
  EXPECT_FALSE(platform::BuiltinProgramIs64Bit(folder / "a.exe"));
  Write(folder / "b.exe", platform::BuiltinStubImage("amd64", "testecho"));
  EXPECT_EQ(platform::BuiltinProgramName(folder / "b.exe"), std::optional<std::string>("testecho"));
  EXPECT_TRUE(platform::BuiltinProgramIs64Bit(folder / "b.exe"));
  // The marker terminated by a NUL works as well as by a line feed.
  Write(folder / "c.exe", platform::BuildPeImage(platform::PeMachine::I386, std::string("BVLSIM-BUILTIN:testecho\0", 24)));
  EXPECT_EQ(platform::BuiltinProgramName(folder / "c.exe"), std::optional<std::string>("testecho"));
  std::filesystem::remove_all(folder);
}

TEST(BuiltinProgramTest, FilesThatAreNoStubNameNothing) {
  auto folder = testing_support::MakeTempFolder("builtin");
  const std::pair<const char*, std::string> rows[] = {
      {"plain image", platform::BuildPeImage(platform::PeMachine::I386)},
      {"marker outside a PE image", "BVLSIM-BUILTIN:schtasks\n"},
      {"path in the name", platform::BuildPeImage(platform::PeMachine::I386, "BVLSIM-BUILTIN:../../bin/sh\n")},
      {"blank in the name", platform::BuildPeImage(platform::PeMachine::I386, "BVLSIM-BUILTIN:a b\n")},
      {"empty name", platform::BuildPeImage(platform::PeMachine::I386, "BVLSIM-BUILTIN:\n")},
  };
  for (const auto& [what, bytes] : rows) {
    Write(folder / "x.exe", bytes);
    EXPECT_FALSE(platform::BuiltinProgramName(folder / "x.exe")) << what;
  }
  EXPECT_FALSE(platform::BuiltinProgramName(folder / "missing.exe"));
  EXPECT_TRUE(platform::BuiltinStubImage("i386", "../sh").empty());
  EXPECT_TRUE(platform::BuiltinStubImage("sparc", "schtasks").empty());
  EXPECT_FALSE(platform::BuiltinProgramPath("no-such-program"));
  EXPECT_FALSE(platform::BuiltinProgramPath("../winsim"));
  EXPECT_TRUE(platform::BuiltinProgramPath("schtasks"));
  std::filesystem::remove_all(folder);
}

TEST(BuiltinProgramTest, NewMachineHasSchtasksOfItsArchitectureAndATasksFolder) {
  for (const auto& [profile, machine] : {std::pair{"win7-x86", platform::PeMachine::I386},
                                         std::pair{"win10-x64", platform::PeMachine::AMD64}}) {
    testing_support::ScopedMachine scoped(profile);
    auto stub = scoped.Host(L"C:\\Windows\\System32\\schtasks.exe");
    EXPECT_EQ(platform::BuiltinProgramName(stub), std::optional<std::string>("schtasks")) << profile;
    auto layout = platform::ParsePeLayout(testing_support::ReadHostFile(stub));
    ASSERT_TRUE(layout) << profile;
    EXPECT_EQ(layout->machine, static_cast<std::uint16_t>(machine)) << profile;
    EXPECT_TRUE(std::filesystem::is_directory(scoped.Host(L"C:\\Windows\\System32\\Tasks"))) << profile;
  }
}

}  // namespace
