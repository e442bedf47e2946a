// kvutil::KVSystem: the in-house utility library's answers about the machine
// the installer runs on — Windows version and edition, PE machine types,
// processes, the desktop user's identity and system paths.
#pragma once

#include <set>
#include <string>

#include "platform/win_types.h"

namespace kvutil {

// What GetSystemVersion fills; every number 0 and every text empty until then.
struct CSystemVersion {
  win::DWORD m_nVersion = 0;       // major × 10 + minor: 51, 60, 61, 62, 63 or 100
  win::DWORD m_nServicePack = 0;   // major × 10 + minor, 0 without a service pack
  win::DWORD m_nEdition = 0;       // edition code
  win::DWORD m_nArchitecture = 0;  // 6 for x64, 3 for x86, 0 otherwise
  std::wstring m_strName;          // "Windows XP" ... "Windows 10"
  std::wstring m_strEdition;
  std::wstring m_strServicePack;   // "Service Pack 3", "Service Pack 2.1"
  std::wstring m_strArchitecture;  // "64bit" or "32bit"
};

class KVSystem {
 public:
  // False when the version is not recognised; the record then stays as built.
  static bool GetSystemVersion(CSystemVersion* version);
  // Name of a GetProductInfo product type, "Not supported" for codes the
  // table does not hold.
  static std::wstring ProductTypeName(win::DWORD productType);

  // True when the file is a PE image of a known machine type; `is64Bit` tells
  // whether it is AMD64 or IA-64 (true) or i386 (false).
  static bool GetPeFileBitness(const std::wstring& path, bool* is64Bit);
  static bool NeedsUserContext(const std::wstring& path);

  // True when the calling thread now impersonates the desktop shell's user;
  // the caller reverts with RevertToSelf.
  static bool ImpersonateExplorerUser();
  static bool FindExplorerProcesses(std::set<win::DWORD>* ids = nullptr);

  static bool GetProcessImagePath(win::DWORD processId, std::wstring* path);
  static bool DevicePathToDrivePath(const std::wstring& devicePath, std::wstring* path);
  // Length of the expanded path, 0 on failure.
  static std::size_t GetPhysicalPathToLogicalPath(const std::wstring& path, std::wstring* logicalPath);
  static bool GetParentProcess(win::DWORD processId, win::DWORD* parentId, std::wstring* parentPath);
  static void TerminateProcessesByName(const std::wstring& imageName);

  // "<system directory>\drivers\<file name>".
  static std::wstring GetDriversPath(const std::wstring& fileName);

  static std::string ConvertToMultiByte(const std::wstring& text, win::UINT codePage);
  static std::wstring ConvertToWide(const std::string& text, win::UINT codePage);
};

}  // namespace kvutil
