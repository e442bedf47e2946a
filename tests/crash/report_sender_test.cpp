// The report sender against the loopback collector: the daily limit with an
// injected clock, the collector's answers, a checkpoint that is not one, a
// collector that never answers, and the event record a report carries.
#include <gtest/gtest.h>

#include "crash/http_upload.h"

#include <fstream>
#include <memory>

#include "crash/crash_collector_fixture.h"
#include "crash/crash_report_sender.h"
#include "crash/crash_reporter.h"
#include "crash/sentry.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

const std::wstring kUrl = L"https://crash.brimvale.example/api/41/minidump/?sentry_key=7d3f0c9a5e1b48c2a6f4d0e8b2c71a95";
const std::wstring kTemp = L"C:\\Users\\Administrator\\AppData\\Local\\Temp\\";
const std::wstring kCheckpoint = kTemp + L"bvlInstaller.checkpoint";
const std::wstring kDump = kTemp + L"5f0c2d1e-8a7b-4c3d-9e2f-0a1b2c3d4e5f.dmp";

class ReportSenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(collector.Running()) << collector.Error();
    collector.ServeCurrentMachine();
    std::ofstream(machine.Host(kDump), std::ios::binary) << "MDMP dump bytes";
  }

  kvdump::ReportResult Send(int today, int limit = 10) {
    kvdump::CrashReportSender sender(kCheckpoint);
    sender.set_max_reports_per_day(limit);
    sender.set_today([today] { return today; });
    sender.set_upload_timeout(std::chrono::seconds(5));
    std::string response;
    return sender.SendCrashReport(kUrl, {{L"sentry", L"null"}}, {{L"upload_file_minidump", kDump}}, &response);
  }

  void WriteCheckpoint(const std::string& text) { std::ofstream(machine.Host(kCheckpoint), std::ios::binary) << text; }
  std::string Checkpoint() const { return testing_support::ReadHostFile(machine.Host(kCheckpoint)); }

  testing_support::ScopedMachine machine;
  crash_testing::CrashCollector collector;
};

TEST_F(ReportSenderTest, EleventhReportOfADayIsNotSentAndTheNextDayStartsAgain) {
  for (int i = 1; i <= 10; ++i) {
    ASSERT_EQ(Send(20261209), kvdump::ReportResult::kSucceeded) << "report " << i;
  }
  EXPECT_EQ(Checkpoint(), "GBP1\n20261209\n10\n");
  EXPECT_EQ(Send(20261209), kvdump::ReportResult::kThrottled);
  EXPECT_EQ(collector.Posts().size(), 10u);
  EXPECT_EQ(Checkpoint(), "GBP1\n20261209\n10\n");

  EXPECT_EQ(Send(20261210), kvdump::ReportResult::kSucceeded);
  EXPECT_EQ(collector.Posts().size(), 11u);
  EXPECT_EQ(Checkpoint(), "GBP1\n20261210\n1\n");
}

TEST_F(ReportSenderTest, LimitCountsFromTheCheckpointFile) {
  WriteCheckpoint("GBP1\n20261209\n9\n");
  EXPECT_EQ(Send(20261209), kvdump::ReportResult::kSucceeded);
  EXPECT_EQ(Checkpoint(), "GBP1\n20261209\n10\n");
  EXPECT_EQ(Send(20261209), kvdump::ReportResult::kThrottled);
  // A full count of an earlier day does not hold back today's report.
  WriteCheckpoint("GBP1\n20261208\n10\n");
  EXPECT_EQ(Send(20261209), kvdump::ReportResult::kSucceeded);
  EXPECT_EQ(Checkpoint(), "GBP1\n20261209\n1\n");
}

TEST_F(ReportSenderTest, NoLimitNeverThrottles) {
  WriteCheckpoint("GBP1\n20261209\n500\n");
  EXPECT_EQ(Send(20261209, -1), kvdump::ReportResult::kSucceeded);
  EXPECT_EQ(Checkpoint(), "GBP1\n20261209\n501\n");
}

TEST_F(ReportSenderTest, CheckpointWithAnotherFirstLineIsIgnoredAndRewritten) {
  WriteCheckpoint("XXXX\n20261209\n10\n");
  EXPECT_EQ(Send(20261209), kvdump::ReportResult::kSucceeded);
  EXPECT_EQ(Checkpoint(), "GBP1\n20261209\n1\n");
}

struct AnswerRow {
  const char* name;
  int status;
  kvdump::ReportResult result;
};

class ReportAnswerTest : public ReportSenderTest, public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(ReportAnswerTest, OnlyAnAcceptedReportCounts) {
  WriteCheckpoint("GBP1\n20261209\n4\n");
  collector.AnswerWith(GetParam().status);
  EXPECT_EQ(Send(20261209), GetParam().result);
  EXPECT_EQ(collector.Posts().size(), 1u);
  EXPECT_EQ(Checkpoint(), GetParam().result == kvdump::ReportResult::kSucceeded ? "GBP1\n20261209\n5\n"
                                                                                : "GBP1\n20261209\n4\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportAnswerTest,
                         ::testing::Values(AnswerRow{"Accepted", 200, kvdump::ReportResult::kSucceeded},
                                           AnswerRow{"Created", 201, kvdump::ReportResult::kFailed},
                                           AnswerRow{"BadRequest", 400, kvdump::ReportResult::kRejected},
                                           AnswerRow{"Forbidden", 403, kvdump::ReportResult::kRejected},
                                           AnswerRow{"TooMany", 429, kvdump::ReportResult::kRejected},
                                           AnswerRow{"LastClientError", 499, kvdump::ReportResult::kRejected},
                                           AnswerRow{"ServerError", 500, kvdump::ReportResult::kFailed},
                                           AnswerRow{"Unavailable", 503, kvdump::ReportResult::kFailed}),
                         [](const ::testing::TestParamInfo<AnswerRow>& info) { return std::string(info.param.name); });

TEST_F(ReportSenderTest, CollectorThatNeverAnswersEndsByTheTimeOut) {
  collector.NeverAnswer();
  kvdump::CrashReportSender sender(kCheckpoint);
  sender.set_max_reports_per_day(10);
  sender.set_upload_timeout(std::chrono::seconds(1));
  std::string response;
  EXPECT_EQ(sender.SendCrashReport(kUrl, {{L"sentry", L"null"}}, {{L"upload_file_minidump", kDump}}, &response),
            kvdump::ReportResult::kFailed);
  EXPECT_EQ(collector.Posts().size(), 1u);
  EXPECT_TRUE(Checkpoint().empty());
}

// Only the status decides: an accepting answer whose body never ends, as
// fast as it goes or dripping, is read only so far and only until the
// upload's limit, so a crashing installer is not kept alive by its collector.
TEST_F(ReportSenderTest, AnAnswerThatNeverEndsCountsByItsStatusAndIsReadOnlySoFar) {
  for (int bytesPerSecond : {0, 8192}) {
    collector.AnswerEndlessly(bytesPerSecond);
    kvdump::CrashReportSender sender(kCheckpoint);
    sender.set_max_reports_per_day(10);
    sender.set_upload_timeout(std::chrono::seconds(2));
    std::string response;
    EXPECT_EQ(sender.SendCrashReport(kUrl, {{L"sentry", L"null"}}, {{L"upload_file_minidump", kDump}}, &response),
              kvdump::ReportResult::kSucceeded)
        << bytesPerSecond;
    EXPECT_FALSE(response.empty()) << bytesPerSecond;
    EXPECT_LE(response.size(), kvdump::kMaxUploadAnswerBytes) << bytesPerSecond;
  }
}

// The reporter reads the event record it shares with the application when a
// crash is reported, not when it was armed: a release set afterwards, and
// set again, reaches the collector as the last one set.
TEST_F(ReportSenderTest, TheReportCarriesTheEventRecordAsItStandsAtTheCrash) {
  auto record = std::make_shared<kvdump::Sentry>();
  kvdump::CrashReporter reporter;
  reporter.SetSentry(record);
  kvdump::CrashReporterOptions options;
  options.dumpDirectory = kTemp;
  options.applicationName = L"bvlInstaller";
  options.uploadUrl = kUrl;
  reporter.Install(options, nullptr);
  record->SetRelease("1.0");
  record->SetRelease("2.0");
  EXPECT_TRUE(reporter.OnMinidump(kTemp, L"5f0c2d1e-8a7b-4c3d-9e2f-0a1b2c3d4e5f"));
  ASSERT_EQ(collector.Posts().size(), 1u);
  const std::vector<crash_testing::CollectedPart> parts = collector.Parts(0, nullptr);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].content, "{\"release\":\"2.0\"}");
  EXPECT_EQ(parts[1].content, "MDMP dump bytes");
}

// No proxy on this machine: the address is tried directly and nothing listens.
TEST(ReportSender, UnreachableCollectorFails) {
  testing_support::ScopedMachine machine;
  std::ofstream(machine.Host(kDump), std::ios::binary) << "MDMP";
  kvdump::CrashReportSender sender(kCheckpoint);
  std::string response;
  EXPECT_EQ(sender.SendCrashReport(L"https://127.0.0.1:1/api/41/minidump/", {{L"sentry", L"null"}},
                                   {{L"upload_file_minidump", kDump}}, &response),
            kvdump::ReportResult::kFailed);
  EXPECT_FALSE(std::filesystem::exists(machine.Host(kCheckpoint)));
}

TEST_F(ReportSenderTest, MissingDumpIsNotSent) {
  kvdump::CrashReportSender sender(kCheckpoint);
  std::string response;
  EXPECT_EQ(sender.SendCrashReport(kUrl, {{L"sentry", L"null"}}, {{L"upload_file_minidump", kTemp + L"gone.dmp"}},
                                   &response),
            kvdump::ReportResult::kFailed);
  EXPECT_TRUE(collector.Posts().empty());
}

}  // namespace
