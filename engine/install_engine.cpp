// The download step of the install engine: the folders and download address,
// each component's download, check and installation, and the web view.
#include "engine/install_engine.h"

#include "engine/engine_texts.h"
#include "engine/folder_cleanup.h"
#include "engine/unzip_archive.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "settings/agent_server_api.h"
#include "settings/http_client.h"
#include "settings/installer_context.h"
#include "system/debug_log.h"
#include "system/registry_helpers.h"
#include "system/file_verification.h"
#include "system/kv_system.h"
#include "system/wow64.h"

namespace {

struct CatalogueEntry {
  const wchar_t* file;
  std::uint32_t options;
  std::uint32_t isArchive;
};

// The agent's components, in the order they are added to the catalogue.
const CatalogueEntry kCatalogue[] = {
    {L"bvlsvc.exe", 0, 0},         {L"BrimvaleAgent.exe", 0, 0}, {L"bvlchk.exe", 0, 0},
    {L"bvlUninstaller.exe", 0, 0}, {L"bvludt.exe", 0, 0},        {L"bvlres.dll", 0, 0},
    {L"bvlcore.dll", 0, 0},        {L"bvlmqtt.exe", 0, 0},       {L"sqlite3.dll", 0, 0},
    {L"libeay32.dll", 0, 0},       {L"mosquitto.dll", 0, 0},     {L"msvcr100.dll", 0, 0},
    {L"pthreadVC2.dll", 0, 0},     {L"bvlcv.dll", 0, 0},         {L"kvppob.sys", COMPONENT_VERIFY_SIGN, 0},
    {L"cef.zip", 0, 1},
};

}  // namespace

std::wstring ArchiveFolderName(const std::wstring& name) {
  if (name == L"cef.zip") return L"cef";
  if (name == L"webview.zip") return L"webview";
  return name;
}

InstallEngine::InstallEngine(const InstallerContext& context, ProgressSink& progress)
    : m_context(context), m_progress(progress) {
  m_verify = [](const std::wstring& path, const ComponentInfo& component) {
    return VerifyDownloadedFile(path, component);
  };
  m_downloadWebView = [this] { return DownloadWebView(); };
  m_sleep = RealPause();
}

InstallEngine::~InstallEngine() {
  for (win::HANDLE process : m_taskCreations) win::CloseHandle(process);
}

void InstallEngine::BuildCatalogue() {
  ComponentInfo record;
  for (const CatalogueEntry& entry : kCatalogue) {
    record.options = entry.options;
    record.isArchive = entry.isArchive;
    m_components[entry.file] = record;
  }

  // The agent is installed for the machine's own architecture: a 32-bit
  // installer under WOW64 takes the 64-bit Program Files folder.
  std::wstring architecture;
  if (RunsUnderWow64()) {
    win::GetEnvironmentVariableW(L"ProgramW6432", m_programFilesDir, 260);
    architecture = L"x64";
  } else {
    win::SHGetSpecialFolderPathW(nullptr, m_programFilesDir, win::CSIDL_PROGRAM_FILES, win::FALSE);
    architecture = L"x86";
  }

  m_installDir = ProgramFilesFolder() + L"\\Brimvale";
  m_stagingDir = m_installDir + L"\\updatetemp";
  m_downloadBaseUrl = m_context.m_updateAddress + L"/" + architecture + L"/";
  m_webviewDir = m_installDir + L"\\webview";
}

std::wstring InstallEngine::ComponentTarget(const std::wstring& name, const ComponentInfo& component) const {
  if (component.options & COMPONENT_VERIFY_SIGN) return kvutil::KVSystem::GetDriversPath(name);
  return m_installDir + L"\\" + ArchiveFolderName(name);
}

win::BOOL InstallEngine::CreateAndMoveInstalledFile() {
  for (const std::wstring* folder : {&m_installDir, &m_stagingDir, &m_webviewDir}) {
    if (!win::CreateDirectoryW(*folder, nullptr) && win::GetLastError() != win::ERROR_ALREADY_EXISTS) {
      return win::FALSE;
    }
  }
  if (!FetchVersionManifest()) return win::FALSE;

  unsigned progress = 30;
  for (const auto& [name, component] : m_components) {
    // The progress page went away: no further component is fetched.
    if (StopRequested()) return win::FALSE;
    if (progress < 65) progress += 2;
    const std::wstring folderName = ArchiveFolderName(name);
    const bool downloaded = DownloadComponent(component.isArchive, folderName, name, component) != win::FALSE;
    ReportRow(engine_texts::ComponentOutcome(folderName, downloaded), true, progress);
    if (!downloaded) return win::FALSE;
  }

  WriteArchiveManifest();
  m_sleep(100);
  ClearStagingFolder();
  return win::TRUE;
}

win::BOOL InstallEngine::DownloadComponent(std::uint32_t isArchive, const std::wstring& folderName,
                                           const std::wstring& fileName, ComponentInfo record) {
  const std::wstring url = m_downloadBaseUrl + record.version + L"/" + fileName;
  const std::wstring staged = m_stagingDir + L"\\" + fileName;

  DownloadOutcome outcome;
  const std::int32_t result = DownloadFileWithOutcome({url, {}, staged}, nullptr, 0, &outcome);
  if (result == 1) {
    if (!m_verify(staged, record)) {
      win::DeleteFileW(staged);
      return win::FALSE;
    }
    if (isArchive) {
      // A damaged archive stays in the staging folder for inspection.
      if (!UnzipArchive(staged, m_installDir, L"")) return win::FALSE;
    } else {
      const std::wstring source = m_stagingDir + L"\\" + folderName;
      const std::wstring target = ComponentTarget(folderName, record);
      // A component that cannot be placed (its folder missing, the old file
      // in use) is not installed, and fails like a failed download.
      if (!win::MoveFileExW(source, target, win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_COPY_ALLOWED)) {
        LogDebugLine(engine_texts::MoveFileFail(target, win::GetLastError()));
        win::DeleteFileW(staged);
        return win::FALSE;
      }
    }
  } else if ((!record.version.empty() && !record.hash.empty()) || !outcome.requestSent || outcome.status == 200) {
    // The manifest lists this component, so the host is expected to serve
    // it: a failed download must not be reported as installed. Components
    // the manifest does not list are optional and skipped, but only when
    // the host did not answer 200 for them: a transfer that broke after its
    // 200 answer, or a staging file that could not be written, fails them.
    win::DeleteFileW(staged);
    return win::FALSE;
  }

  if (m_downloadWebView() == 0) {
    win::DeleteFileW(staged);
    return win::FALSE;
  }
  return win::TRUE;
}

int InstallEngine::DownloadWebView() {
  const std::wstring version = GetWebViewVersion(m_context.m_serverAddress);
  const std::wstring url = WebViewDownloadUrl(m_context.m_serverAddress, L"webview", version);
  const std::wstring target = m_stagingDir + L"\\webview.zip";
  if (DownloadFile({url, {}, target}) != 1) return 0;
  if (!UnzipArchive(target, m_webviewDir, L"")) return 0;
  RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kWebVersionValue, version);
  return 1;
}

void InstallEngine::ReportRow(const std::wstring& text, bool replaceLast, unsigned percent) {
  if (!StopRequested()) m_progress.AddStatusRow(text, replaceLast, percent);
}

win::BOOL InstallEngine::ClearStagingFolder() {
  ClearFolder(m_stagingDir + L"\\*.*");
  return win::TRUE;
}
