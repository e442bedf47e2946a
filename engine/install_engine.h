// The install engine: the data the progress page owns while it installs (the
// folders, the update host's address and the component catalogue) and the
// routines of the download step, which fetches the version manifest, downloads
// and checks every component, unpacks the archives and the web view, and
// clears the staging folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/component_info.h"
#include "engine/progress_sink.h"
#include "platform/win_types.h"

class InstallerContext;

// The folder an archive is unpacked into below the install folder: "cef.zip"
// gives "cef", "webview.zip" gives "webview"; every other name is returned as
// it is (exact, case-sensitive).
std::wstring ArchiveFolderName(const std::wstring& name);

class InstallEngine {
 public:
  // The engine keeps references to both; they must outlive it. The
  // constructor sets m_verify to VerifyDownloadedFile (system/file_verification.h),
  // m_downloadWebView to this engine's DownloadWebView and m_sleep to a real pause.
  InstallEngine(const InstallerContext& context, ProgressSink& progress);

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

  wchar_t m_programFilesDir[260] = {};
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
  // The pause before the staging folder is cleared, in milliseconds.
  std::function<void(unsigned milliseconds)> m_sleep;

 private:
  const InstallerContext& m_context;
  ProgressSink& m_progress;
};
