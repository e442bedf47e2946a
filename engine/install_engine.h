// The install engine: the data the progress page owns while it installs (the
// folders, the update host's address, the component catalogue and the driver
// controller) and the routines of the install steps: the download step, which
// fetches the version manifest, downloads and checks every component, unpacks
// the archives and the web view, and clears the staging folder; the system
// registration steps; and the rollback routines run after a failure.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "system/component_info.h"
#include "engine/progress_sink.h"
#include "platform/win_types.h"
#include "system/kvppob_controller.h"
#include "system/path_text.h"
#include "system/pause.h"

class InstallerContext;

// The folder an archive is unpacked into below the install folder: "cef.zip"
// gives "cef", "webview.zip" gives "webview"; every other name is returned as
// it is (exact, case-sensitive).
std::wstring ArchiveFolderName(const std::wstring& name);

class InstallEngine {
 public:
  // The engine keeps references to both; they must outlive it. The
  // constructor sets m_verify to VerifyDownloadedFile (system/file_verification.h),
  // m_downloadWebView to this engine's DownloadWebView and m_sleep to a real
  // pause, and opens the protection driver's device (m_driver).
  InstallEngine(const InstallerContext& context, ProgressSink& progress);
  // Closes the handles of task creations still held.
  ~InstallEngine();
  InstallEngine(const InstallEngine&) = delete;
  InstallEngine& operator=(const InstallEngine&) = delete;

  const InstallerContext& Context() const { return m_context; }

  // Fills the catalogue with the agent's components and derives the folders
  // and the download address from the machine's Program Files folder and
  // architecture. Creates nothing.
  void BuildCatalogue();

  // Where a component is installed: the drivers folder for a driver, else
  // "<install folder>\<ArchiveFolderName(name)>".
  std::wstring ComponentTarget(const std::wstring& name, const ComponentInfo& component) const;

  // Downloads proverinfo.dat into the staging folder, stores the product
  // version in the registry and takes each listed component's version and
  // digest into the catalogue. FALSE, changing neither, when the download
  // fails, the file holds no line, a line or field is longer than any real
  // one, or no line names a component of the catalogue.
  win::BOOL FetchVersionManifest();
  // Writes zipproverinfo.dat (the archives' names, digests and versions) into
  // the install folder.
  void WriteArchiveManifest();

  // The download step: creates the folders, fetches the manifest, downloads
  // and installs every component, reporting a row for each, then writes the
  // archive manifest and clears the staging folder.
  win::BOOL CreateAndMoveInstalledFile();
  // Downloads one component into the staging folder, checks it, and unpacks
  // it (an archive) or moves it into place; then makes sure the web view is
  // in place.
  win::BOOL DownloadComponent(std::uint32_t isArchive, const std::wstring& folderName, const std::wstring& fileName,
                              ComponentInfo record);
  // Downloads the web view archive the agent server names and unpacks it
  // into the web view folder. 1 on success, 0 on failure.
  int DownloadWebView();
  // Empties and removes the staging folder. Always TRUE.
  win::BOOL ClearStagingFolder();

  // System registration steps (engine/old_files.cpp, driver_steps.cpp,
  // reservation_job.cpp, uninstall_entry.cpp).
  //
  // Moves the legacy agent files found in the drivers folder aside (a "_" in
  // front of the name). Always TRUE.
  win::BOOL RenameOldFile();
  // Deletes the moved-aside legacy files, logging each that cannot go (also
  // when it is missing). Always TRUE.
  win::BOOL DeleteOldFile();
  // On 32-bit Windows: the driver's service, then its registry protection
  // off; nothing on 64-bit Windows. Always TRUE.
  win::BOOL InstallDriver();
  // The two scheduled tasks of the checker, created through schtasks.exe
  // unless the task list names them already. FALSE when schtasks.exe is
  // missing, cannot list, or its list cannot be read.
  win::BOOL RegisterReservationJob();
  // The uninstall entry: icon, name, uninstaller and publisher. FALSE (and a
  // debug line per value) when a value could not be written.
  win::BOOL RegisterUninstallReg();

  // Rollback routines (engine/agent_shutdown.cpp, reservation_job.cpp,
  // rollback_cleanup.cpp, driver_steps.cpp, uninstall_entry.cpp).
  //
  // Asks the agent's service, window and MQTT client to stop, then ends what
  // is left of them. Always TRUE.
  win::BOOL StopRunningAgent();
  // Deletes both scheduled tasks, after the creations RegisterReservationJob
  // started have ended (within the deletion's bound), so that a creation
  // still running cannot bring a task back after its deletion. FALSE when
  // schtasks.exe is missing.
  win::BOOL DeleteScheduledTasks();
  // Deletes the product key under the machine and the users' hives. FALSE
  // (and logged) when the machine's key is missing or cannot be deleted.
  win::BOOL DeleteSettingsKey();
  // Stops and deletes the driver's service, its file and its key. FALSE (and
  // logged) when the key could not be deleted, also when it did not exist.
  win::BOOL RemoveDriverRegistration();
  // Clears the install folder. Always TRUE.
  win::BOOL DeleteAgentFiles();
  // Deletes the uninstall entry. Always TRUE.
  win::BOOL DeleteUninstallReg();

  // Asked by the install worker when the progress page goes away: the steps
  // report no further row and the download step fetches no further component.
  void RequestStop() { m_stopRequested = true; }
  bool StopRequested() const { return m_stopRequested; }

  // The legacy agent files of the drivers folder that RenameOldFile moves aside.
  static std::vector<std::wstring> GetOldFileSet();

  wchar_t m_programFilesDir[260] = {};
  // m_programFilesDir as text.
  std::wstring ProgramFilesFolder() const { return BufferText(m_programFilesDir, std::size(m_programFilesDir)); }
  std::wstring m_installDir;
  std::wstring m_stagingDir;
  std::wstring m_downloadBaseUrl;
  std::wstring m_webviewDir;
  ComponentMap m_components;

  // Checks a downloaded component (digest, signature, architecture) before
  // it is installed. Replaceable so that each check can be exercised alone.
  std::function<bool(const std::wstring& path, const ComponentInfo& component)> m_verify;
  // Brings the web view into place; 0 fails the component being installed.
  std::function<int()> m_downloadWebView;
  // The pauses of the steps: before the staging folder is cleared, while the
  // agent's window closes, between the driver service's status polls.
  Pause m_sleep;

  // The protection driver's control device.
  KvppobController m_driver;

 private:
  // A row on the progress page, unless the page went away.
  void ReportRow(const std::wstring& text, bool replaceLast, unsigned percent);

  const InstallerContext& m_context;
  ProgressSink& m_progress;
  std::atomic<bool> m_stopRequested{false};
  // The schtasks.exe processes that create the tasks; not waited for by the
  // installation, only by the deletion.
  std::vector<win::HANDLE> m_taskCreations;
};
