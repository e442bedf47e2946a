// Every JSON state file of a machine is checked when read: a damaged one (not
// JSON, empty, nested too deep, or valid JSON of the wrong shape) makes the
// program that reads it end normally with a report naming the file, and the
// file stays as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/sim/machine/machine_stop.h"
#include "platform/sim/machine/state_file.h"
#include "support/child_program.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

struct StateFileRow {
  const char* name;
  const char* file;     // in the machine folder
  std::string content;  // what it holds
  std::vector<std::string> command;  // a winsim command that reads it
};

const std::vector<std::string> kListProcesses = {"processes"};
const std::vector<std::string> kReboot = {"reboot"};  // opens a registry key: consults the faults
const std::vector<std::string> kLock = {"lock", "C:\\Windows\\explorer.exe"};
const std::vector<std::string> kServices = {"services"};
const std::vector<std::string> kEvents = {"events"};
const std::vector<std::string> kWindows = {"windows"};
const std::vector<std::string> kDriver = {"driver"};
const std::string kDeep = std::string(20000, '[') + std::string(20000, ']');

const StateFileRow kRows[] = {
    {"ProfileMajorIsText", "profile.json", R"({"major":"ten"})", kListProcesses},
    {"ProfileFlagIsANumber", "profile.json", R"({"x64":1})", kListProcesses},
    {"ProfileWidthIsFractional", "profile.json", R"({"screenWidth":1.5})", kListProcesses},
    {"ProfileMajorIsNegative", "profile.json", R"({"major":-1})", kListProcesses},
    {"ProfileIsAnArray", "profile.json", "[]", kListProcesses},
    {"ProfileIsTruncated", "profile.json", R"({"name":"win10-x64","major":)", kListProcesses},
    {"ProfileIsEmpty", "profile.json", "", kListProcesses},
    {"ProfileNestsDeep", "profile.json", kDeep, kListProcesses},
    {"ProcessNextIdIsText", "processes.json", R"({"nextId":"abc"})", kListProcesses},
    {"ProcessNextIdTooLarge", "processes.json", R"({"nextId":4294967296})", kListProcesses},
    {"ProcessIsANumber", "processes.json", R"({"processes":[1]})", kListProcesses},
    {"ProcessIdIsText", "processes.json", R"({"processes":[{"id":"7"}]})", kListProcesses},
    {"ProcessesNotAnArray", "processes.json", R"({"processes":{}})", kListProcesses},
    {"ProcessHostPidNegative", "processes.json",
     R"({"processes":[{"id":8,"hostPid":-1,"hostStart":0,"running":true}]})", kListProcesses},
    {"ProcessTableIsGarbage", "processes.json", "\x01\x02garbage", kListProcesses},
    {"ProcessTableIsEmpty", "processes.json", "", kListProcesses},
    {"FaultsAnObject", "faults.json", R"({"operation":"RegOpenKeyEx"})", kReboot},
    {"FaultIsANumber", "faults.json", "[1]", kReboot},
    {"FaultOperationIsANumber", "faults.json", R"([{"operation":5}])", kReboot},
    {"FaultOperationMissing", "faults.json", R"([{"error":5}])", kReboot},
    {"FaultRemainingBelowMinusOne", "faults.json", R"([{"operation":"RegOpenKeyEx","remaining":-2}])", kReboot},
    {"FaultsAreGarbage", "faults.json", "garbage", kReboot},
    {"FaultsNestDeep", "faults.json", kDeep, kReboot},
    {"LockIsANumber", "locks.json", R"({"locked":[1]})", kLock},
    {"LocksNotAnArray", "locks.json", R"({"locked":"C:\\x"})", kLock},
    {"LocksAnArray", "locks.json", "[]", kLock},
    {"LocksAreGarbage", "locks.json", "{locked}", kLock},
    {"LocksAreEmpty", "locks.json", "", kLock},
    {"ServicesAreGarbage", "state/services.json", "{services", kServices},
    {"ServiceStateIsText", "state/services.json", R"({"services":{"bvlsvc":{"state":"running"}}})", kServices},
    {"ServicesNestDeep", "state/services.json", kDeep, kServices},
    {"EventsAnArray", "state/events.json", "[]", kEvents},
    {"EventNameIsANumber", "state/events.json", R"({"events":[{"name":5}]})", kEvents},
    {"WindowsAreEmpty", "state/windows.json", "", kWindows},
    {"WindowTitleIsANumber", "state/windows.json", R"({"windows":[{"id":1,"title":7}]})", kWindows},
    {"DevicesAreGarbage", "state/devices.json", "\x01", kDriver},
};

class DamagedStateFileTest : public testing::TestWithParam<StateFileRow> {};

TEST_P(DamagedStateFileTest, ProgramEndsWithAReportAndKeepsTheFile) {
  const StateFileRow& row = GetParam();
  testing_support::ScopedMachine machine;
  std::filesystem::path file = machine.Root() / row.file;
  std::ofstream(file, std::ios::binary | std::ios::trunc) << row.content;

  std::vector<std::string> arguments = {testing_support::BuiltProgram("tools/winsim")};
  arguments.insert(arguments.end(), row.command.begin(), row.command.end());
  testing_support::ChildResult run = testing_support::RunChild(arguments);
  EXPECT_TRUE(run.exited) << "ended by a signal";
  EXPECT_EQ(run.exitCode, platform::kUnusableMachineExitCode) << run.output << run.errors;
  EXPECT_NE(run.errors.find(file.string() + " is damaged"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("left as it is"), std::string::npos) << run.errors;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(testing_support::ReadHostFile(file), row.content);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedStateFileTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<StateFileRow>& row) { return std::string(row.param.name); });

// What the checked reader reports, and where.
struct ProblemRow {
  const char* name;
  const char* text;
  const char* problem;  // empty: sound
};

// The shape every row is read with: {"count": u32, "items": [{"label": text, "on": flag}]}.
void DecodeSample(const platform::StateValue& root) {
  root.Optional("count").Whole<unsigned>(0);
  for (const platform::StateValue& item : root.Required("items").Elements()) {
    item.Required("label").Text();
    item.Optional("on").Flag(false);
  }
}

const ProblemRow kProblems[] = {
    {"Sound", R"({"count":3,"items":[{"label":"a","on":true},{"label":"b"}]})", ""},
    {"RequiredMemberMissing", R"({"count":3})", "items: missing"},
    {"WrongTypeDeepInside", R"({"items":[{"label":"a"},{"label":2}]})",
     "items[1].label: expected a string, found the number 2"},
    {"NumberOutOfRange", R"({"count":-4,"items":[]})",
     "count: expected a whole number from 0 to 4294967295, found the number -4"},
    {"FractionalNumber", R"({"count":2.5,"items":[]})",
     "count: expected a whole number from 0 to 4294967295, found a fractional number"},
    {"TopOfAnotherType", R"("text")", "the top: expected an object, found a string"},
    {"ElementOfAnotherType", R"({"items":[null]})", "items[0]: expected an object, found null"},
    {"RepeatedMember", R"({"items":[],"items":[]})", "the member \"items\" appears twice in one object"},
    {"TooDeep", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]", "nested deeper than 32 levels"},
    {"Blank", " \r\n", "the file is empty"},
};

class StateTextProblemTest : public testing::TestWithParam<ProblemRow> {};

TEST_P(StateTextProblemTest, FirstProblemIsNamedWithItsPlace) {
  EXPECT_EQ(platform::CheckStateText(GetParam().text, DecodeSample), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(Texts, StateTextProblemTest, testing::ValuesIn(kProblems),
                         [](const testing::TestParamInfo<ProblemRow>& row) { return std::string(row.param.name); });

TEST(StateTextTest, NotJsonNamesTheParserPosition) {
  std::string problem = platform::CheckStateText(R"({"items": [)", DecodeSample);
  EXPECT_EQ(problem.rfind("not JSON: parse error at line 1, column 12", 0), 0u) << problem;
}

TEST(StateTextTest, SoundDocumentIsReadWithItsValues) {
  unsigned count = 0;
  std::vector<std::string> labels;
  std::string problem = platform::CheckStateText(R"({"count":4000000000,"items":[{"label":"가"},{"label":""}]})",
                                                 [&](const platform::StateValue& root) {
                                                   count = root.Optional("count").Whole<unsigned>(0);
                                                   for (const auto& item : root.Required("items").Elements()) {
                                                     labels.push_back(item.Required("label").Text());
                                                   }
                                                 });
  EXPECT_EQ(problem, "");
  EXPECT_EQ(count, 4000000000u);
  EXPECT_EQ(labels, (std::vector<std::string>{"\xea\xb0\x80", ""}));
}

TEST(StateFileTest, AbsentFileIsNotDamaged) {
  auto folder = testing_support::MakeTempFolder("state");
  bool decoded = false;
  platform::StateFileRead read =
      platform::TryReadStateFile(folder / "none.json", [&](const platform::StateValue&) { decoded = true; });
  EXPECT_EQ(read.status, platform::StateFileStatus::kAbsent);
  EXPECT_FALSE(decoded);
  std::filesystem::create_directories(folder / "dir.json");
  read = platform::TryReadStateFile(folder / "dir.json", DecodeSample);
  EXPECT_EQ(read.status, platform::StateFileStatus::kDamaged);
  EXPECT_EQ(read.problem, "not a regular file");
  std::filesystem::remove_all(folder);
}

}  // namespace
