// kvutil::KVSystem over the platform's version, process, token and file calls.
#include "system/kv_system.h"

#include <cstdio>
#include <cwctype>
#include <vector>

#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/version.h"
#include "system/debug_log.h"
#include "system/path_text.h"
#include "system/system_texts.h"

namespace kvutil {

namespace {

using namespace win;

constexpr DWORD kProcessListCapacity = 1024;
constexpr DWORD kImagePathCapacity = 259;
constexpr DWORD kSystemPathCapacity = 260;

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// VerifyVersionInfoW: major, minor and platform equal; optionally a product type.
bool IsVersion(DWORD major, DWORD minor, bool workstation) {
  OSVERSIONINFOEXW info;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  DWORD mask = VER_MAJORVERSION | VER_MINORVERSION | VER_PLATFORMID;
  DWORDLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_PLATFORMID, VER_EQUAL);
  if (workstation) {
    info.wProductType = VER_NT_WORKSTATION;
    mask |= VER_PRODUCT_TYPE;
    conditions = VerSetConditionMask(conditions, VER_PRODUCT_TYPE, VER_EQUAL);
  }
  return VerifyVersionInfoW(&info, mask, conditions) != FALSE;
}

bool IsServicePack(WORD major, WORD minor) {
  OSVERSIONINFOEXW info;
  info.wServicePackMajor = major;
  info.wServicePackMinor = minor;
  DWORDLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMINOR, VER_EQUAL);
  return VerifyVersionInfoW(&info, VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR, conditions) != FALSE;
}

bool IsWorkstation() {
  OSVERSIONINFOEXW info;
  info.wProductType = VER_NT_WORKSTATION;
  return VerifyVersionInfoW(&info, VER_PRODUCT_TYPE, VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL)) != FALSE;
}

bool HasPersonalSuite() {
  OSVERSIONINFOEXW info;
  info.wSuiteMask = VER_SUITE_PERSONAL;
  return VerifyVersionInfoW(&info, VER_SUITENAME, VerSetConditionMask(0, VER_SUITENAME, VER_AND)) != FALSE;
}

// The Windows 10 test: the value CurrentMajorVersionNumber exists.
bool HasCurrentMajorVersionNumber() {
  try {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
      LogDebugLine(system_texts::RoutineFail(L"GetSystemVersion", 1));
      return false;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    bool found = RegQueryValueExW(key, L"CurrentMajorVersionNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                  &size) == ERROR_SUCCESS &&
                 size == sizeof value;
    RegCloseKey(key);
    return found;
  } catch (...) {
    LogDebugLine(system_texts::RoutineFail(L"GetSystemVersion"));
    return false;
  }
}

// Names the Windows version the version queries recognise (the last that
// matches wins). False, leaving the record as it was, when none does.
bool FindWindowsName(CSystemVersion* version) {
  bool recognised = false;
  auto take = [&](DWORD code, const wchar_t* name) {
    version->m_nVersion = code;
    version->m_strName = name;
    recognised = true;
  };
  if (IsVersion(5, 1, false)) take(51, L"Windows XP");
  const struct {
    DWORD minor, code;
    const wchar_t* name;
  } sixes[] = {{0, 60, L"Windows VISTA"}, {1, 61, L"Windows 7"}, {2, 62, L"Windows 8"}, {3, 63, L"Windows 8.1"}};
  for (const auto& six : sixes) {
    if (IsVersion(6, six.minor, true)) take(six.code, six.name);
  }
  if (HasCurrentMajorVersionNumber()) {
    // A server that carries the Windows 10 value is named as the server it is.
    take(100, IsWorkstation() ? L"Windows 10" : L"Windows Server 2016");
  }
  return recognised;
}

// The service pack, tried from 0.1 to 8.8; none leaves the record as it was.
void FindServicePack(CSystemVersion* version) {
  for (WORD major = 0; major <= 8; ++major) {
    for (WORD minor = 0; minor <= 8; ++minor) {
      if ((major > 0 || minor > 0) && IsServicePack(major, minor)) {
        version->m_nServicePack = major * 10u + minor;
        version->m_strServicePack = L"Service Pack " + std::to_wstring(major);
        if (minor > 0) version->m_strServicePack += L"." + std::to_wstring(minor);
      }
    }
  }
}

// The edition: Windows XP's from the system metrics and the product suite,
// later versions' from GetProductInfo.
void FindEdition(CSystemVersion* version) {
  if (version->m_nVersion == 51) {
    if (GetSystemMetrics(SM_MEDIACENTER)) {
      version->m_nEdition = 87;
      version->m_strEdition = L"Media Center Edition";
    } else if (GetSystemMetrics(SM_STARTER)) {
      version->m_nEdition = 88;
      version->m_strEdition = L"Starter Edition";
    } else if (GetSystemMetrics(SM_TABLETPC)) {
      version->m_nEdition = 86;
      version->m_strEdition = L"Tablet PC Edition";
    } else if (IsWorkstation()) {
      bool home = HasPersonalSuite();
      version->m_nEdition = home ? 2 : 48;
      version->m_strEdition = home ? L"Home Edition" : L"Professional";
    }
  } else if (HMODULE kernel = LoadLibraryW(L"kernel32.dll")) {
    auto getProductInfo = reinterpret_cast<GetProductInfoFunction>(GetProcAddress(kernel, "GetProductInfo"));
    DWORD productType = 0;
    if (getProductInfo && getProductInfo(version->m_nVersion / 10, version->m_nVersion % 10,
                                         version->m_nServicePack / 10, version->m_nServicePack % 10, &productType)) {
      version->m_nEdition = productType;
      version->m_strEdition = KVSystem::ProductTypeName(productType);
    }
    FreeLibrary(kernel);
  }
}

// The processor architecture of the machine, not of the installer's process.
void FindArchitecture(CSystemVersion* version) {
  SYSTEM_INFO system;
  GetNativeSystemInfo(&system);
  if (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) {
    version->m_nArchitecture = 6;
    version->m_strArchitecture = L"64bit";
  } else if (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) {
    version->m_nArchitecture = 3;
    version->m_strArchitecture = L"32bit";
  }
}

}  // namespace

bool KVSystem::GetSystemVersion(CSystemVersion* version) {
  if (!version || !FindWindowsName(version)) return false;
  FindServicePack(version);
  FindEdition(version);
  FindArchitecture(version);
  return true;
}

bool KVSystem::NeedsUserContext(const std::wstring& path) {
  HANDLE token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    CloseHandle(token);
    return false;
  }
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED || error == ERROR_LOGON_FAILURE;
  }
  return (attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
}

bool KVSystem::GetPeFileBitness(const std::wstring& path, bool* is64Bit) {
  if (!is64Bit) return false;
  bool impersonated = NeedsUserContext(path) && ImpersonateExplorerUser();
  std::FILE* file = _wfsopen(path, L"rb", _SH_DENYRW);
  if (impersonated) RevertToSelf();
  if (!file) return false;
  bool known = false;
  std::uint32_t headerOffset = 0;
  unsigned char signature[4] = {};
  unsigned char machine[2] = {};
  if (std::fseek(file, 0x3C, SEEK_SET) == 0 && std::fread(&headerOffset, 4, 1, file) == 1 &&
      std::fseek(file, static_cast<long>(headerOffset), SEEK_SET) == 0 && std::fread(signature, 4, 1, file) == 1 &&
      signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0 &&
      std::fread(machine, 2, 1, file) == 1) {
    unsigned type = machine[0] | machine[1] << 8;
    if (type == 0x8664 || type == 0x0200) {
      *is64Bit = true;
      known = true;
    } else if (type == 0x014C) {
      *is64Bit = false;
      known = true;
    }
  }
  std::fclose(file);
  return known;
}

bool KVSystem::FindExplorerProcesses(std::set<DWORD>* ids) {
  std::vector<DWORD> processIds(kProcessListCapacity);
  DWORD count = 0;
  if (!K32EnumProcesses(processIds.data(), kProcessListCapacity, &count)) return false;
  std::set<DWORD> found;
  for (DWORD i = 0; i < count; ++i) {
    std::wstring path;
    GetProcessImagePath(processIds[i], &path);
    if (path.empty()) continue;
    if (Lower(PathFindFileNameW(path)) != L"explorer.exe") continue;
    if (!ids) return true;
    found.insert(processIds[i]);
  }
  if (ids) *ids = found;
  return !found.empty();
}

bool KVSystem::ImpersonateExplorerUser() {
  std::set<DWORD> ids;
  if (!FindExplorerProcesses(&ids) || ids.empty()) return false;
  DWORD id = *ids.begin();
  if (id == 0) return false;
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
  if (!process) return false;
  HANDLE token = nullptr;
  bool impersonated = false;
  if (OpenProcessToken(process, TOKEN_ALL_ACCESS, &token)) {
    impersonated = ImpersonateLoggedOnUser(token) != FALSE;
    CloseHandle(token);
  }
  CloseHandle(process);
  return impersonated;
}

bool KVSystem::GetProcessImagePath(DWORD processId, std::wstring* path) {
  if (!path) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (!process) {
    LogDebugLine(system_texts::RoutineFail(L"OpenProcess", 1));
    return false;
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process, &exitCode) || exitCode != STILL_ACTIVE) {
    LogDebugLine(system_texts::RoutineFail(L"OpenProcess", 2));
    CloseHandle(process);
    return false;
  }
  std::wstring result;
  std::vector<wchar_t> buffer(kImagePathCapacity, L'\0');
  if (K32GetModuleFileNameExW(process, nullptr, buffer.data(), kImagePathCapacity)) {
    result = BufferText(buffer.data(), buffer.size());
  } else if (K32GetProcessImageFileNameW(process, buffer.data(), kImagePathCapacity)) {
    std::wstring device = BufferText(buffer.data(), buffer.size());
    if (!DevicePathToDrivePath(device, &result)) result = device;
  } else {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
      LogDebugLine(system_texts::RoutineFail(L"CreateToolhelp32Snapshot"));
    } else {
      PROCESSENTRY32W entry;
      entry.dwSize = sizeof entry;
      for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) {
          result = entry.szExeFile;
          break;
        }
      }
      CloseHandle(snapshot);
    }
  }
  if (result.empty()) {
    LogDebugLine(system_texts::RoutineFail(L"OpenProcess", 3));
    CloseHandle(process);
    return false;
  }
  if (result.find(L'~') != std::wstring::npos) {
    std::wstring expanded;
    if (GetPhysicalPathToLogicalPath(result, &expanded) && expanded.size() > result.size()) result = expanded;
  }
  CloseHandle(process);
  *path = result;
  return true;
}

bool KVSystem::DevicePathToDrivePath(const std::wstring& devicePath, std::wstring* path) {
  if (!path) return false;
  std::vector<wchar_t> drives(kSystemPathCapacity, L'\0');
  DWORD length = GetLogicalDriveStringsW(kSystemPathCapacity, drives.data());
  if (length == 0 || length > kSystemPathCapacity) return false;
  for (const wchar_t* drive = drives.data(); *drive; drive += std::wcslen(drive) + 1) {
    std::wstring letter = std::wstring(drive).substr(0, 2);
    std::vector<wchar_t> device(kSystemPathCapacity, L'\0');
    if (!QueryDosDeviceW(letter, device.data(), kSystemPathCapacity)) continue;
    std::wstring name = BufferText(device.data(), device.size());
    if (devicePath.size() > name.size() && Lower(devicePath.substr(0, name.size())) == Lower(name) &&
        devicePath[name.size()] == L'\\') {
      *path = letter + devicePath.substr(name.size());
      return true;
    }
  }
  return false;
}

std::size_t KVSystem::GetPhysicalPathToLogicalPath(const std::wstring& path, std::wstring* logicalPath) {
  if (!logicalPath) {
    LogDebugLine(system_texts::RoutineFail(L"GetPhysicalPathToLogicalPath"));
    return 0;
  }
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    LogDebugLine(system_texts::RoutineFail(L"GetPhysicalPathToLogicalPath", 1));
    return 0;
  }
  std::wstring normal = path;
  for (wchar_t& c : normal) {
    if (c == L'/') c = L'\\';
  }
  // The root stays: "X:" or "\\server\share".
  std::size_t rootEnd;
  if (normal.rfind(L"\\\\", 0) == 0) {
    std::size_t server = normal.find(L'\\', 2);
    std::size_t share = server == std::wstring::npos ? std::wstring::npos : normal.find(L'\\', server + 1);
    rootEnd = share == std::wstring::npos ? normal.size() : share;
  } else {
    rootEnd = std::min<std::size_t>(2, normal.size());
  }
  std::wstring built = normal.substr(0, rootEnd);
  std::size_t start = rootEnd;
  while (start < normal.size()) {
    if (normal[start] == L'\\') {
      ++start;
      continue;
    }
    std::size_t end = normal.find(L'\\', start);
    if (end == std::wstring::npos) end = normal.size();
    std::wstring component = normal.substr(start, end - start);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(built + L"\\" + component, &data);
    if (find != INVALID_HANDLE_VALUE) {
      component = data.cFileName;
      FindClose(find);
    }
    built += L"\\" + component;
    start = end;
  }
  if (GetFileAttributesW(built) == INVALID_FILE_ATTRIBUTES) {
    LogDebugLine(system_texts::RoutineFail(L"GetPhysicalPathToLogicalPath", 7));
    return 0;
  }
  *logicalPath = built;
  return built.size();
}

bool KVSystem::GetParentProcess(DWORD processId, DWORD* parentId, std::wstring* parentPath) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == processId) {
      found = true;
      break;
    }
  }
  CloseHandle(snapshot);
  if (!found) return false;
  std::wstring path;
  GetProcessImagePath(entry.th32ParentProcessID, &path);
  if (path.empty() || Lower(path) == L"system idle process" || Lower(entry.szExeFile) == L"system") return false;
  if (parentId) *parentId = entry.th32ParentProcessID;
  if (parentPath) *parentPath = path;
  return true;
}

void KVSystem::TerminateProcessesByName(const std::wstring& imageName) {
  std::wstring wanted = Lower(imageName);
  std::vector<DWORD> ids(kProcessListCapacity);
  DWORD count = 0;
  if (!K32EnumProcesses(ids.data(), kProcessListCapacity, &count)) return;
  DWORD self = GetCurrentProcessId();
  for (DWORD i = 0; i < count; ++i) {
    if (ids[i] == self) continue;
    std::wstring path;
    if (!GetProcessImagePath(ids[i], &path)) continue;
    if (Lower(PathFindFileNameW(path)) != wanted) continue;
    if (HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, ids[i])) {
      TerminateProcess(process, 0);
      CloseHandle(process);
    }
  }
}

std::wstring KVSystem::GetDriversPath(const std::wstring& fileName) {
  std::vector<wchar_t> system(kSystemPathCapacity, L'\0');
  UINT length = GetSystemDirectoryW(system.data(), kSystemPathCapacity);
  std::wstring folder =
      length > 0 && length < kSystemPathCapacity ? BufferText(system.data(), system.size()) : std::wstring();
  return folder + L"\\drivers\\" + fileName;
}

std::string KVSystem::ConvertToMultiByte(const std::wstring& text, UINT codePage) {
  int length = WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  int converted = WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), buffer.data(), length,
                                      nullptr, nullptr);
  return converted == length ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

std::wstring KVSystem::ConvertToWide(const std::string& text, UINT codePage) {
  int length = MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  int converted = MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()), buffer.data(), length);
  return converted == length ? std::wstring(buffer.data(), static_cast<std::size_t>(length)) : std::wstring();
}

}  // namespace kvutil
