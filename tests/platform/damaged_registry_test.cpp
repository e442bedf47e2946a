// A registry file that cannot be read (empty, truncated, garbage) or that has
// the wrong shape stops every program of the machine with a report naming
// it, before anything could be written over it: the file stays as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"
#include "platform/sim/machine/machine_stop.h"
#include "platform/registry.h"
#include "support/child_program.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

void WriteFile(const std::filesystem::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct DamageRow {
  const char* name;
  std::string (*damage)(const std::string& good);
};

const DamageRow kDamages[] = {
    // Files that cannot be read as JSON at all.
    {"Empty", [](const std::string&) { return std::string(); }},
    {"OnlyWhitespace", [](const std::string&) { return std::string(" \n\t\n"); }},
    {"TruncatedToHalf", [](const std::string& good) { return good.substr(0, good.size() / 2); }},
    {"LastByteMissing", [](const std::string& good) { return good.substr(0, good.rfind('}')); }},
    {"Garbage", [](const std::string&) { return std::string("\x7f" "ELF\x02\x01\x01\0\0garbage", 16); }},
    {"NulBytes", [](const std::string&) { return std::string(4096, '\0'); }},
    {"TrailingText", [](const std::string& good) { return good + "x"; }},
    {"InvalidUtf8", [](const std::string& good) { return Replace(good, "SOFTWARE", "SOFT\xff\xfeWARE"); }},
    // Valid JSON of another shape.
    {"KeyIsANumber", [](const std::string&) { return std::string(R"({"keys":[1]})"); }},
    {"KeysNotAnArray", [](const std::string&) { return std::string(R"({"keys":{"path":"HKLM"}})"); }},
    {"NoKeysMember", [](const std::string&) { return std::string("{}"); }},
    {"TopIsAnArray", [](const std::string&) { return std::string("[]"); }},
    {"PathIsANumber", [](const std::string& good) { return Replace(good, "\"path\": \"HKLM\"", "\"path\": 7"); }},
    {"PathMissing", [](const std::string& good) { return Replace(good, "\"path\": \"HKLM\"", "\"where\": \"HKLM\""); }},
    {"TypeIsAString", [](const std::string& good) { return Replace(good, "\"type\": 1", "\"type\": \"REG_SZ\""); }},
    {"TypeIsNegative", [](const std::string& good) { return Replace(good, "\"type\": 1", "\"type\": -1"); }},
    {"TypeTooLarge", [](const std::string& good) { return Replace(good, "\"type\": 1", "\"type\": 4294967296"); }},
    {"ValuesNotAnArray", [](const std::string&) { return std::string(R"({"keys":[{"path":"HKLM","values":"x"}]})"); }},
    {"DataNotHex", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":3,"data":"zz"}]}]})");
     }},
    {"DataOddLength", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":3,"data":"abc"}]}]})");
     }},
    {"Base64Invalid", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":3,"base64":"AB=C"}]}]})");
     }},
    {"Base64NotWholeGroups", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":3,"base64":"QUJD\nRA"}]}]})");
     }},
    {"TextIsANumber", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":1,"text":5}]}]})");
     }},
    {"TextAndBase64", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":1,"text":"x","base64":""}]}]})");
     }},
    {"NoData", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM","values":[{"name":"a","type":1}]}]})");
     }},
    {"SameKeyTwice", [](const std::string&) {
       return std::string(R"({"keys":[{"path":"HKLM\\A"},{"path":"hklm\\a"}]})");
     }},
    {"SameMemberTwice", [](const std::string&) { return std::string(R"({"keys":[],"keys":[]})"); }},
    {"DeepNesting", [](const std::string&) { return std::string(100000, '[') + std::string(100000, ']'); }},
    {"DeepNestingInsideAKey", [](const std::string&) {
       return "{\"keys\":[{\"path\":\"HKLM\",\"values\":" + std::string(5000, '[') + std::string(5000, ']') + "}]}";
     }},
};

class DamagedRegistryTest : public testing::TestWithParam<DamageRow> {
 protected:
  void SetUp() override {
    for (int i = 0; i < 50; ++i) {
      win::HKEY key = nullptr;
      ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor\\Key" + std::to_wstring(i), 0, nullptr,
                                     0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY, nullptr, &key, nullptr),
                0);
      win::RegCloseKey(key);
    }
    file_ = machine_.Root() / "registry.json";
    damaged_ = GetParam().damage(testing_support::ReadHostFile(file_));
    WriteFile(file_, damaged_);
  }

  testing_support::ScopedMachine machine_;
  std::filesystem::path file_;
  std::string damaged_;
};

TEST_P(DamagedRegistryTest, ReadingProgramStopsWithAReportAndKeepsTheFile) {
  testing_support::ChildResult run =
      testing_support::RunChild({testing_support::BuiltProgram("tools/winsim"), "registry"});
  EXPECT_TRUE(run.exited) << "ended by a signal";
  EXPECT_EQ(run.exitCode, platform::kUnusableMachineExitCode) << run.output << run.errors;
  EXPECT_NE(run.errors.find(file_.string() + " is damaged"), std::string::npos) << run.errors;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(testing_support::ReadHostFile(file_), damaged_);
}

TEST_P(DamagedRegistryTest, NothingIsWrittenOverIt) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        win::HKEY key = nullptr;
        win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, L"SOFTWARE\\Korvanta\\Brimvale", 0, nullptr, 0,
                             win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY, nullptr, &key, nullptr);
        std::_Exit(0);
      },
      testing::ExitedWithCode(platform::kUnusableMachineExitCode), "registry\\.json is damaged");
  EXPECT_EQ(testing_support::ReadHostFile(file_), damaged_);
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedRegistryTest, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<DamageRow>& row) { return std::string(row.param.name); });

}  // namespace
