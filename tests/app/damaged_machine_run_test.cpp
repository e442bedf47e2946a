// The installer run on a machine whose state files are damaged ends normally
// (an exit code, no abort) with the machine's report naming the file, before
// it prints or writes anything; the file stays as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/machine/machine_stop.h"
#include "support/child_program.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

namespace fs = std::filesystem;

struct DamagedRunRow {
  const char* name;
  const char* file;
  const char* content;
};

const DamagedRunRow kRows[] = {
    {"RegistryGarbage", "registry.json", "\x89PNG garbage"},
    {"RegistryWrongShape", "registry.json", R"({"keys":[1]})"},
    {"RegistryEmpty", "registry.json", ""},
    {"ProcessTableWrongType", "processes.json", R"({"nextId":"abc"})"},
    {"ProfileWrongType", "profile.json", R"({"major":"ten"})"},
    {"FaultsWrongShape", "faults.json", R"([{"operation":["RegCreateKeyEx"]}])"},
};

class DamagedMachineRunTest : public testing::TestWithParam<DamagedRunRow> {};

TEST_P(DamagedMachineRunTest, InstallerEndsWithTheReportAndKeepsTheFile) {
  testing_support::ScopedMachine machine;
  // base64 of "http://127.0.0.1:1" in the name: start-up writes ServiceInfo.
  const fs::path installer = machine.Host(L"C:\\Users\\user\\Downloads\\bvlInstaller[aHR0cDovLzEyNy4wLjAuMTox].exe");
  fs::copy_file(testing_support::BuiltProgram("app/bvlInstaller"), installer, fs::copy_options::overwrite_existing);
  const fs::path file = machine.Root() / GetParam().file;
  ASSERT_TRUE(testing_support::WriteHostFile(file, GetParam().content));

  testing_support::ChildResult run = testing_support::RunChild({installer.string()});
  EXPECT_TRUE(run.exited) << "ended by a signal";
  EXPECT_EQ(run.exitCode, platform::kUnusableMachineExitCode) << run.output << run.errors;
  EXPECT_NE(run.errors.find(file.string() + " is damaged"), std::string::npos) << run.errors;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(testing_support::ReadHostFile(file), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedMachineRunTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<DamagedRunRow>& row) { return std::string(row.param.name); });

}  // namespace
