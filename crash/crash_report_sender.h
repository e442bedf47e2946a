// kvdump::CrashReportSender: sends one crash report at a time within the
// daily limit that its checkpoint file keeps count of.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "crash/http_upload.h"
#include "crash/report_checkpoint.h"

namespace kvdump {

enum class ReportResult {
  kFailed,     // no answer, or an answer outside 200 and 400–499
  kRejected,   // the collector answered 400–499
  kSucceeded,  // the collector answered 200
  kThrottled,  // today's limit was reached: nothing was sent
};

// Today's date in UTC as year × 10000 + month × 100 + day.
int TodayUtc();

class CrashReportSender {
 public:
  // Reads the checkpoint at the Windows path `checkpointFile`; a missing or
  // malformed file counts as no report sent yet.
  explicit CrashReportSender(std::wstring checkpointFile);

  // -1 for no limit.
  void set_max_reports_per_day(int reports) { m_maxReportsPerDay = reports; }
  // The clock and the waiting limit of the upload; tests set them.
  void set_today(std::function<int()> today) { m_today = std::move(today); }
  void set_upload_timeout(std::chrono::seconds timeout) { m_uploadTimeout = timeout; }

  // Sends the report unless today's accepted reports reached the limit. An
  // accepted report (status 200) is counted in the checkpoint file: the
  // count starts again at 1 on a new day. `response` receives the answer.
  ReportResult SendCrashReport(const std::wstring& url, const std::map<std::wstring, std::wstring>& fields,
                               const std::map<std::wstring, std::wstring>& files, std::string* response);

 private:
  std::wstring m_checkpointFile;
  ReportCheckpoint m_checkpoint;  // date 0 while nothing was sent
  int m_maxReportsPerDay = -1;
  std::function<int()> m_today = TodayUtc;
  std::chrono::seconds m_uploadTimeout = kDefaultUploadTimeout;
};

}  // namespace kvdump
