// The crash tests' child program: arms the crash reporter as the application
// object does (temporary folder, "bvlInstaller", at most 10 reports a day),
// with the upload address and release from its command line, then passes the
// crash point "ApplicationStart" on its main thread and "InstallWorker" on a
// thread of its own, the way the install worker runs. Without an armed crash
// point it prints "no crash" and ends with 0.
//   crash_child UPLOAD-URL [RELEASE]
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "crash/crash_reporter.h"
#include "platform/codepage.h"
#include "platform/crash_points.h"
#include "platform/environment.h"

namespace {

bool AcceptEveryException(void*, win::EXCEPTION_POINTERS*, kvdump::minidump::AssertionInfo*) { return true; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: crash_child UPLOAD-URL [RELEASE]\n";
    return 2;
  }
  wchar_t temporaryFolder[win::MAX_PATH] = {};
  win::GetTempPathW(win::MAX_PATH, temporaryFolder);
  kvdump::CrashReporter reporter;
  kvdump::CrashReporterOptions options;
  options.dumpDirectory = temporaryFolder;
  options.applicationName = L"bvlInstaller";
  options.uploadUrl = platform::Utf8ToWide(argv[1]);
  options.maxReportsPerDay = 10;
  reporter.Install(options, AcceptEveryException);
  auto sentry = std::make_shared<kvdump::Sentry>();
  if (argc > 2) sentry->SetRelease(argv[2]);
  reporter.SetSentry(sentry);

  platform::CrashIfInjected(L"ApplicationStart");
  std::thread worker([] { platform::CrashIfInjected(L"InstallWorker"); });
  worker.join();
  std::cout << "no crash\n";
  return 0;
}
