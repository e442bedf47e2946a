// Arming the exception handler and sending each dump.
#include "crash/crash_reporter.h"

#include <map>

#include "crash/crash_report_sender.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace kvdump {
void CrashReporter::Install(const CrashReporterOptions& options, ExceptionHandler::FilterCallback filter) {
  m_dumpDir = options.dumpDirectory;
  m_appName = options.applicationName;
  m_uploadUrl = options.uploadUrl;
  m_maxReportsPerDay = options.maxReportsPerDay;
  auto onMinidump = [this](const wchar_t* dumpPath, const wchar_t* minidumpId, void*, win::EXCEPTION_POINTERS*,
                           minidump::AssertionInfo*, bool) { return OnMinidump(dumpPath, minidumpId); };
  // The previous handler goes first, so that the new one is the armed one.
  m_handler.reset();
  m_handler = std::make_unique<ExceptionHandler>(m_dumpDir, filter, onMinidump, options.callbackContext,
                                                 ExceptionHandler::HANDLER_ALL, minidump::kMiniDumpNormal, L"",
                                                 nullptr);
}

bool CrashReporter::OnMinidump(const std::wstring& dumpPath, const std::wstring& minidumpId) {
  std::wstring checkpoint = m_dumpDir;
  win::PathAppendW(&checkpoint, m_appName + L".checkpoint");
  CrashReportSender sender(checkpoint);
  sender.set_max_reports_per_day(m_maxReportsPerDay);
  const std::wstring dumpFile = ExceptionHandler::DumpFilePath(dumpPath, minidumpId);
  const std::map<std::wstring, std::wstring> files = {{L"upload_file_minidump", dumpFile}};
  const std::string record = m_sentry ? m_sentry->Serialise() : std::string("null");
  const std::map<std::wstring, std::wstring> fields = {{L"sentry", platform::Utf8ToWide(record)}};
  std::string response;
  const ReportResult result = sender.SendCrashReport(m_uploadUrl, fields, files, &response);
  if (m_onUploaded) m_onUploaded(result == ReportResult::kSucceeded);
  return true;
}

}  // namespace kvdump
