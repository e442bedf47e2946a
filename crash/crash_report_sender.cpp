// The report throttle and the result of one upload.
#include "crash/crash_report_sender.h"

#include "platform/system_time.h"

namespace kvdump {

int TodayUtc() {
  win::SYSTEMTIME now;
  win::GetSystemTime(&now);
  return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
}

CrashReportSender::CrashReportSender(std::wstring checkpointFile) : m_checkpointFile(std::move(checkpointFile)) {
  if (auto checkpoint = ReadReportCheckpoint(m_checkpointFile)) m_checkpoint = *checkpoint;
}

ReportResult CrashReportSender::SendCrashReport(const std::wstring& url,
                                                const std::map<std::wstring, std::wstring>& fields,
                                                const std::map<std::wstring, std::wstring>& files,
                                                std::string* response) {
  const int today = m_today();
  if (today == m_checkpoint.date && m_maxReportsPerDay != -1 && m_checkpoint.count >= m_maxReportsPerDay) {
    return ReportResult::kThrottled;
  }
  UploadResult upload = SendMultipartPostRequest(url, fields, files, m_uploadTimeout);
  if (response) *response = upload.response;
  if (upload.status == 200) {
    if (m_checkpoint.date != today) {
      m_checkpoint.date = today;
      m_checkpoint.count = 0;
    }
    ++m_checkpoint.count;
    WriteReportCheckpoint(m_checkpointFile, m_checkpoint);
    return ReportResult::kSucceeded;
  }
  if (upload.status >= 400 && upload.status <= 499) return ReportResult::kRejected;
  return ReportResult::kFailed;
}

}  // namespace kvdump
