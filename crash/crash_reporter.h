// kvdump::CrashReporter: the installer's crash reporting. Armed by Install,
// it has every crash of the process written as a minidump into the dump
// folder and uploaded at once to the crash collector with the event record,
// within the daily report limit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "crash/exception_handler.h"
#include "crash/sentry.h"

namespace kvdump {

struct CrashReporterOptions {
  std::wstring dumpDirectory;    // ends with "\"
  std::wstring applicationName;  // names the checkpoint file
  std::wstring uploadUrl;
  void* callbackContext = nullptr;
  int maxReportsPerDay = 10;
};

class CrashReporter {
 public:
  CrashReporter() = default;
  CrashReporter(const CrashReporter&) = delete;
  CrashReporter& operator=(const CrashReporter&) = delete;

  // Arms the reporter: takes the options and installs the exception handler
  // for unhandled exceptions, invalid-parameter reports and pure virtual
  // calls, with `filter` asked before each dump. A previous handler is
  // replaced.
  void Install(const CrashReporterOptions& options, ExceptionHandler::FilterCallback filter);
  void SetSentry(std::shared_ptr<Sentry> sentry) { m_sentry = std::move(sentry); }

  // The minidump callback, on the handler thread once the dump is written:
  // sends the dump with the event record within the daily limit. Always
  // true: the crash counts as handled and the process ends.
  bool OnMinidump(const std::wstring& dumpPath, const std::wstring& minidumpId);

  // Called after each upload attempt with true when the collector accepted
  // the report; empty in the installer.
  std::function<void(bool)> m_onUploaded;

 private:
  std::unique_ptr<ExceptionHandler> m_handler;
  std::shared_ptr<Sentry> m_sentry;
  std::wstring m_dumpDir;
  std::wstring m_appName;
  std::wstring m_uploadUrl;
  int m_maxReportsPerDay = 0;
};

}  // namespace kvdump
