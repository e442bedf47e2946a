// The checkpoint file: what counts as a checkpoint and what is ignored.
#include <gtest/gtest.h>

#include <fstream>

#include "crash/report_checkpoint.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

const std::wstring kFile = L"C:\\Users\\Administrator\\AppData\\Local\\Temp\\bvlInstaller.checkpoint";

struct CheckpointRow {
  const char* name;
  const char* text;
  bool valid;
  int date;
  int count;
};

class ReportCheckpointTest : public ::testing::TestWithParam<CheckpointRow> {
 protected:
  testing_support::ScopedMachine machine;
};

TEST_P(ReportCheckpointTest, ReadsOnlyWellFormedFiles) {
  const CheckpointRow row = GetParam();
  std::ofstream(machine.Host(kFile), std::ios::binary) << row.text;
  auto checkpoint = kvdump::ReadReportCheckpoint(kFile);
  ASSERT_EQ(checkpoint.has_value(), row.valid);
  if (row.valid) {
    EXPECT_EQ(checkpoint->date, row.date);
    EXPECT_EQ(checkpoint->count, row.count);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReportCheckpointTest,
    ::testing::Values(CheckpointRow{"Written", "GBP1\n20261209\n3\n", true, 20261209, 3},
                      CheckpointRow{"NoLastNewline", "GBP1\n20261209\n3", true, 20261209, 3},
                      CheckpointRow{"WrongMagic", "GBP2\n20261209\n3\n", false, 0, 0},
                      CheckpointRow{"LowerCaseMagic", "gbp1\n20261209\n3\n", false, 0, 0},
                      CheckpointRow{"WindowsLineEnds", "GBP1\r\n20261209\r\n3\r\n", false, 0, 0},
                      CheckpointRow{"MissingCount", "GBP1\n20261209\n", false, 0, 0},
                      CheckpointRow{"LettersInDate", "GBP1\n2026l209\n3\n", false, 0, 0},
                      CheckpointRow{"NegativeCount", "GBP1\n20261209\n-1\n", false, 0, 0},
                      CheckpointRow{"Empty", "", false, 0, 0}),
    [](const ::testing::TestParamInfo<CheckpointRow>& info) { return std::string(info.param.name); });

TEST(ReportCheckpoint, MissingFileIsNoCheckpoint) {
  testing_support::ScopedMachine machine;
  EXPECT_FALSE(kvdump::ReadReportCheckpoint(kFile).has_value());
}

TEST(ReportCheckpoint, WritesThreeLines) {
  testing_support::ScopedMachine machine;
  ASSERT_TRUE(kvdump::WriteReportCheckpoint(kFile, {20270101, 10}));
  EXPECT_EQ(testing_support::ReadHostFile(machine.Host(kFile)), "GBP1\n20270101\n10\n");
}

}  // namespace
