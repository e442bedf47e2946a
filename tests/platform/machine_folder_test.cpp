// Which folders become machines: a folder named for a machine that holds none
// gets a new one only when it is absent or empty; anything else is refused
// with a message and left exactly as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_stop.h"
#include "support/child_program.h"
#include "support/scoped_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildResult;
using testing_support::FolderSnapshot;
using testing_support::RunChild;

void Write(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

// What the named path holds before a program runs on it.
struct FolderRow {
  const char* name;
  void (*prepare)(const fs::path& folder);
  bool accepted;  // a machine is created there
};

const FolderRow kFolders[] = {
    {"Absent", [](const fs::path&) {}, true},
    {"Empty", [](const fs::path& f) { fs::create_directories(f); }, true},
    {"LeftoverCreationLock", [](const fs::path& f) { Write(f / "profile.json.lock", ""); }, true},
    {"UnfinishedCreation",
     [](const fs::path& f) {
       Write(f / "profile.json.lock", "");
       Write(f / "processes.json", R"({"nextId":1000,"processes":[{"id":4,"image":"System"}]})");
       fs::create_directories(f / "drive_c" / "Windows");
     },
     true},
    {"UnrelatedFile", [](const fs::path& f) { Write(f / "notes.txt", "my notes\n"); }, false},
    {"HiddenFileOnly", [](const fs::path& f) { Write(f / ".keep", ""); }, false},
    {"UnrelatedSubfolder", [](const fs::path& f) { Write(f / "photos" / "a.jpg", "\xff\xd8"); }, false},
    {"EmptySubfolder", [](const fs::path& f) { fs::create_directories(f / "drive_c"); }, false},
    {"RegularFile", [](const fs::path& f) { Write(f, "not a folder"); }, false},
};

class MachineFolderTest : public testing::TestWithParam<FolderRow> {
 protected:
  void SetUp() override {
    base_ = testing_support::MakeTempFolder("folder");
    folder_ = base_ / "target";
    GetParam().prepare(folder_);
    before_ = Snapshot();
  }
  void TearDown() override { fs::remove_all(base_); }

  // The folder and the named path itself (which may be a file).
  std::map<std::string, std::string> Snapshot() const {
    auto entries = FolderSnapshot(base_);
    return entries;
  }

  void ExpectOutcome(const ChildResult& run, int refusedCode) const {
    if (GetParam().accepted) {
      EXPECT_TRUE(run.exited && run.exitCode == 0) << run.exitCode << " " << run.errors;
      EXPECT_TRUE(fs::exists(folder_ / "profile.json"));
      EXPECT_TRUE(fs::is_directory(folder_ / "drive_c" / "Windows" / "System32"));
    } else {
      EXPECT_TRUE(run.exited) << "ended by a signal";
      EXPECT_EQ(run.exitCode, refusedCode) << run.errors;
      EXPECT_NE(run.errors.find(folder_.string()), std::string::npos) << run.errors;
      EXPECT_NE(run.errors.find("left untouched"), std::string::npos) << run.errors;
      EXPECT_EQ(Snapshot(), before_);
    }
  }

  fs::path base_;
  fs::path folder_;
  std::map<std::string, std::string> before_;
};

TEST_P(MachineFolderTest, NamedByTheMachineVariable) {
  ChildResult run = RunChild({testing_support::BuiltProgram("tools/winsim"), "processes"},
                             {{platform::kMachineVariable, folder_.string()}});
  ExpectOutcome(run, platform::kUnusableMachineExitCode);
  if (GetParam().accepted) {
    EXPECT_NE(run.output.find("explorer.exe"), std::string::npos) << run.output;
  }
}

TEST_P(MachineFolderTest, GivenToWinsimWithMachineOption) {
  ChildResult run = RunChild({testing_support::BuiltProgram("tools/winsim"), "--machine", folder_.string(), "registry"},
                             {}, {platform::kMachineVariable});
  ExpectOutcome(run, platform::kUnusableMachineExitCode);
}

TEST_P(MachineFolderTest, GivenToWinsimCreate) {
  ChildResult run = RunChild({testing_support::BuiltProgram("tools/winsim"), "create", folder_.string()}, {},
                             {platform::kMachineVariable});
  ExpectOutcome(run, 1);
}

TEST_P(MachineFolderTest, AsTheDefaultMachineFolder) {
  // $HOME/.bvlsim/default with no variable set.
  fs::path home = base_ / "home";
  fs::create_directories(home / ".bvlsim");
  if (fs::exists(folder_)) fs::rename(folder_, home / ".bvlsim" / "default");
  folder_ = home / ".bvlsim" / "default";
  before_ = Snapshot();
  ChildResult run = RunChild({testing_support::BuiltProgram("tools/winsim"), "processes"}, {{"HOME", home.string()}},
                             {platform::kMachineVariable});
  ExpectOutcome(run, platform::kUnusableMachineExitCode);
}

TEST_P(MachineFolderTest, CreatedInProcess) {
  std::string error;
  bool created = platform::CreateMachine(folder_, *platform::FindProfile("win7-x86"), &error);
  EXPECT_EQ(created, GetParam().accepted) << error;
  if (!GetParam().accepted) {
    EXPECT_NE(error.find(folder_.string()), std::string::npos) << error;
    EXPECT_EQ(Snapshot(), before_);
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, MachineFolderTest, testing::ValuesIn(kFolders),
                         [](const testing::TestParamInfo<FolderRow>& row) { return std::string(row.param.name); });

TEST(MachineReplacementTest, CreateOverAMachineReplacesItWhole) {
  fs::path folder = testing_support::MakeTempFolder("replace");
  ASSERT_TRUE(platform::CreateMachine(folder, *platform::FindProfile("win10-x64")));
  Write(folder / "drive_c" / "Users" / "user" / "Desktop" / "old.txt", "old");
  std::string error;
  ASSERT_TRUE(platform::CreateMachine(folder, *platform::FindProfile("win7-x86"), &error)) << error;
  EXPECT_FALSE(fs::exists(folder / "drive_c" / "Users" / "user" / "Desktop" / "old.txt"));
  EXPECT_FALSE(fs::exists(folder / "drive_c" / "Program Files (x86)"));
  auto profile = platform::LoadProfile(folder);
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->name, "win7-x86");
  fs::remove_all(folder);
}

}  // namespace

namespace {

TEST(MachineFirstUseTest, ProgramsStartedTogetherOnANewFolderShareOneMachine) {
  fs::path base = testing_support::MakeTempFolder("together");
  fs::path folder = base / "machine";
  constexpr int kPrograms = 4;
  std::vector<ChildResult> runs(kPrograms);
  std::vector<std::thread> threads;
  for (int i = 0; i < kPrograms; ++i) {
    threads.emplace_back([&, i] {
      runs[i] = RunChild({testing_support::BuiltProgram("tools/winsim"), "processes"},
                         {{platform::kMachineVariable, folder.string()}});
    });
  }
  for (std::thread& t : threads) t.join();
  for (const ChildResult& run : runs) {
    EXPECT_TRUE(run.exited && run.exitCode == 0) << run.exitCode << " " << run.errors;
    EXPECT_NE(run.output.find("explorer.exe"), std::string::npos) << run.output;
  }
  // One explorer.exe: the machine was populated once.
  ChildResult listing = RunChild({testing_support::BuiltProgram("tools/winsim"), "processes"},
                                 {{platform::kMachineVariable, folder.string()}});
  std::size_t first = listing.output.find("explorer.exe");
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(listing.output.find("explorer.exe", first + 1), std::string::npos) << listing.output;
  fs::remove_all(base);
}

}  // namespace
