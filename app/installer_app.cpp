// The application object's construction and destruction: the crash reporter
// is armed before anything else of the installer runs and disarmed at exit.
#include "app/installer_app.h"

#include "crash/collector_address.h"
#include "platform/codepage.h"
#include "platform/crash_points.h"
#include "platform/environment.h"
#include "system/registry_helpers.h"

namespace {

const wchar_t kApplicationName[] = L"bvlInstaller";
constexpr int kMaxReportsPerDay = 10;

// Every crash is reported.
bool AcceptEveryException(void*, win::EXCEPTION_POINTERS*, kvdump::minidump::AssertionInfo*) { return true; }

}  // namespace

CbvlInstallerApp theApp;

CbvlInstallerApp::CbvlInstallerApp() {
  wchar_t temporaryFolder[win::MAX_PATH] = {};
  win::GetTempPathW(win::MAX_PATH, temporaryFolder);

  kvdump::CrashReporterOptions options;
  options.dumpDirectory = temporaryFolder;
  options.applicationName = kApplicationName;
  options.uploadUrl = kvdump::kCrashUploadUrl;
  options.callbackContext = this;
  options.maxReportsPerDay = kMaxReportsPerDay;
  m_crashReporter.Install(options, AcceptEveryException);

  m_sentry = std::make_shared<kvdump::Sentry>();
  // The release is the version of the agent already on the machine, none on
  // a first installation. The record is UTF-8 text: a version in the ANSI
  // code page would not be valid JSON text once it held a non-ASCII letter.
  const std::wstring version = ReadInstalledVersion();
  if (!version.empty()) m_sentry->SetRelease(platform::WideToUtf8(version));
  m_crashReporter.SetSentry(m_sentry);

  platform::CrashIfInjected(L"ApplicationStart");
}

CbvlInstallerApp::~CbvlInstallerApp() = default;
