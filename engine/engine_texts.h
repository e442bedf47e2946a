// The texts of the install engine, byte for byte: what the progress page
// shows of the steps, the failure messages of the sequence, and the debug
// lines of the download step and its manifests, the unpacking of archives,
// the system registration steps, the rollback routines and the install
// worker. Each debug line is spelt out whole, so that a line read in a
// debugger's output is found here as it stands; lines with a value are built
// by the functions below, whose error codes are the platform's last error.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "settings/debug_text.h"
#include "system/debug_log.h"

namespace engine_texts {

// The progress page: a step's name with ".." as the status while it runs,
// and a row with its outcome; a row per component of the download step.
inline std::wstring StepStatus(const std::wstring& step) { return step + L".."; }
inline std::wstring StepOutcome(const std::wstring& step, bool succeeded) {
  return step + (succeeded ? L" Success" : L" Fail");
}
inline std::wstring ComponentOutcome(const std::wstring& folderName, bool downloaded) {
  return folderName + (downloaded ? L" Download Success" : L" Download Fail");
}
constexpr const wchar_t* kArchiveManifestWritten = L"proverinfo create Success";
constexpr const wchar_t* kInstallSuccess = L"Install Success";

// The message of a failure that ends the sequence (shown in a message box).
constexpr const wchar_t* kUpdateAddressMissing = L"Get UpdateAddress Fail";
constexpr const wchar_t* kFileDownloadFail = L"FileDownLoad Fail";
constexpr const wchar_t* kInstallDriverFail = L"InstallDriver Fail";

// Debug lines of the install worker and its machine-wide lock.
constexpr const wchar_t* kInstallFail = L"[brimvale] install Fail";
inline std::wstring InstallLockFail(win::DWORD error) {
  return L"[Brimvale] BVLInstall : Install Lock Fail - " + ErrorNumber(error);
}
constexpr const wchar_t* kPreviousInstallationAbandoned = L"[Brimvale] BVLInstall : Previous Installation Abandoned";
constexpr const wchar_t* kWaitingForAnotherInstallation = L"[Brimvale] BVLInstall : Waiting For Another Installation";

// The download step: a component that could not be moved into place.
inline std::wstring MoveFileFail(const std::wstring& target, win::DWORD error) {
  return L"[Brimvale] BVLInstall : Move File Fail - " + target + L" (" + ErrorNumber(error) + L")";
}

// The version manifests. proverinfo.dat comes from the update host;
// zipproverinfo.dat is written into the install folder.
constexpr const wchar_t* kVersionDownloadFail = L"[Brimvale] bvlInstaller : Get version file download fail";
constexpr const wchar_t* kVersionDataFail = L"[Brimvale] bvlInstaller : Get version file data fail";
constexpr const wchar_t* kVersionFileOpenFail = L"[Brimvale] bvludt : Get version file data fail (CreateFile)";
constexpr const wchar_t* kVersionFileMappingFail =
    L"[Brimvale] bvludt : Get version file data fail (CreateFileMapping)";
constexpr const wchar_t* kVersionFileViewFail = L"[Brimvale] bvludt : Get version file data fail (MapViewOfFile)";
inline std::wstring ArchiveManifestCreateFail(win::DWORD error) {
  return L"[Brimvale] bvlinstaller : INVALID_HANDLE_VALUE fail " + ErrorNumber(error);
}
constexpr const wchar_t* kArchiveManifestWriteFail = L"[Brimvale] bvludt : Set version file data fail (WriteFile)";

// Unpacking an archive. Entry names and paths come from the archive, so their
// control characters are escaped: a name can neither end its line nor show a
// line of its own.
inline std::wstring UnzipRefusedEntry(const std::wstring& name) {
  return L"[Brimvale] BVLInstall : Unzip Refused Entry - " + DebugValue(name);
}
inline std::wstring UnzipWriteFail(const std::wstring& output) {
  return L"[Brimvale] BVLInstall : Unzip Write Fail - " + DebugValue(output);
}

// Files of the agent that could not be deleted: legacy files moved aside,
// and the items of a folder being cleared.
inline std::wstring AgentFileDeleteFail(const std::wstring& path) {
  return L"[Brimvale] BVLInstall : Delete Agent File Fail - " + path;
}

// The checker's scheduled tasks, through schtasks.exe.
constexpr const wchar_t* kSchtasksMissing = L"[Brimvale] Install : Fail to find schtasks.exe\n";
constexpr const wchar_t* kSchtasksListFail = L"[Brimvale] Install : Fail to Get schtasks.exe list info\n";
inline std::wstring SchtasksFileError(const std::wstring& reason) {
  return L"[Brimvale] Install : schtasks File Error - " + reason;
}
// The reasons of a task list that could not be read; the error is printed
// unsigned here.
inline std::wstring ListFileOpenFail(const std::wstring& path, win::DWORD error) {
  return path + L" cannot be opened (error " + std::to_wstring(error) + L")";
}
inline std::wstring ListFileReadFail(const std::wstring& path, win::DWORD error) {
  return path + L" cannot be read (error " + std::to_wstring(error) + L")";
}
inline std::wstring TaskEnrolment(const std::wstring& task, bool started) {
  return L"[Brimvale] Install : " + task + (started ? L" enroll success\n" : L" enroll fail\n");
}

// The uninstall entry: a value that did not reach the registry.
inline std::wstring UninstallValueFail(const std::wstring& name) {
  return L"[Brimvale] BVLInstall : Write Uninstall Registry Fail - " + name;
}

// The rollback routines.
constexpr const wchar_t* kServiceStopSignalled = L"brimvale Installer : bvlsvc Stop SetEvent";
constexpr const wchar_t* kMqttStopSignalled = L"brimvale Installer : bvlmqtt Stop SetEvent";
constexpr const wchar_t* kSettingsKeyDeleteFail = L"[Brimvale] Install : Delete HKLM Brimvale Registry Fail";
constexpr const wchar_t* kDriverRegistrationDeleteFail =
    L"[Brimvale] BVLInstall : Delete Driver Register Info Fail - kvppob.sys";

}  // namespace engine_texts
