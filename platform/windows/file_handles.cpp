// Kernel file handles through kernel32: files, read-only mappings and their
// views, and the closing of any kernel handle.
#include "platform/files.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/windows/system_security.h"
#include "platform/windows/windows_api.h"

namespace {

using platform_windows::Native;
using platform_windows::Wrapped;

// The after-map-view test seam: the hook, and the files behind the mappings
// made while it was set (a view knows only its mapping).
struct MapViewSeam {
  std::mutex mutex;
  std::function<void(const std::wstring&)> hook;
  std::map<::HANDLE, std::wstring> mappedFiles;
};

MapViewSeam& Seam() {
  static MapViewSeam seam;
  return seam;
}

// The file's path as the system knows it, without the "\\?\" that marks a
// path the system does not parse further.
std::wstring PathOfFile(::HANDLE file) {
  std::wstring path(32768, L'\0');  // the longest path the system knows
  const ::DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<::DWORD>(path.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= path.size()) return std::wstring();
  path.resize(length);
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

}  // namespace

namespace win {

HANDLE CreateFileW(const std::wstring& path, DWORD access, DWORD share, const void* security, DWORD disposition,
                   DWORD attributes, HANDLE templateFile) {
  platform_windows::SystemSecurityAttributes systemSecurity(security);
  return Wrapped(
      ::CreateFileW(path.c_str(), access, share, systemSecurity.get(), disposition, attributes, Native(templateFile)));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  ::DWORD done = 0;
  const ::BOOL ok = ::ReadFile(Native(file), buffer, toRead, &done, static_cast<::OVERLAPPED*>(overlapped));
  if (read) *read = done;
  return ok;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  ::DWORD done = 0;
  const ::BOOL ok = ::WriteFile(Native(file), buffer, toWrite, &done, static_cast<::OVERLAPPED*>(overlapped));
  if (written) *written = done;
  return ok;
}

HANDLE CreateFileMappingW(HANDLE file, const void* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          const wchar_t* name) {
  platform_windows::SystemSecurityAttributes systemSecurity(security);
  const ::HANDLE mapping = ::CreateFileMappingW(Native(file), systemSecurity.get(), protect, sizeHigh, sizeLow, name);
  if (mapping) {
    MapViewSeam& seam = Seam();
    std::lock_guard<std::mutex> guard(seam.mutex);
    if (seam.hook) seam.mappedFiles[mapping] = PathOfFile(Native(file));
  }
  return Wrapped(mapping);
}

const void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
  const void* view = ::MapViewOfFile(Native(mapping), access, offsetHigh, offsetLow, bytes);
  if (!view) return nullptr;
  std::function<void(const std::wstring&)> hook;
  std::wstring path;
  {
    MapViewSeam& seam = Seam();
    std::lock_guard<std::mutex> guard(seam.mutex);
    const auto file = seam.mappedFiles.find(Native(mapping));
    if (seam.hook && file != seam.mappedFiles.end()) {
      hook = seam.hook;
      path = file->second;
    }
  }
  if (hook) hook(path);
  return view;
}

BOOL UnmapViewOfFile(const void* view) { return ::UnmapViewOfFile(view); }

std::size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, std::size_t length) {
  if (!info || length < sizeof(MEMORY_BASIC_INFORMATION)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ::MEMORY_BASIC_INFORMATION region{};
  if (::VirtualQuery(address, &region, sizeof region) == 0) return 0;
  // Only a view of a file answers; the system describes any address.
  if (region.Type != MEM_MAPPED || region.State != MEM_COMMIT) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The system counts the region from the page that holds `address`; the
  // interface counts from `address` itself.
  const char* end = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  info->BaseAddress = region.AllocationBase;
  info->RegionSize = static_cast<std::size_t>(end - static_cast<const char*>(address));
  return sizeof(MEMORY_BASIC_INFORMATION);
}

BOOL CloseHandle(HANDLE handle) {
  {
    MapViewSeam& seam = Seam();
    std::lock_guard<std::mutex> guard(seam.mutex);
    seam.mappedFiles.erase(Native(handle));
  }
  return ::CloseHandle(Native(handle));
}

}  // namespace win

namespace platform {

// Windows hands a started program the inheritable handle itself; there is
// no descriptor of a host system behind it.
int InheritableFileDescriptor(win::HANDLE) { return -1; }

void SetAfterMapViewForTesting(std::function<void(const std::wstring& path)> hook) {
  MapViewSeam& seam = Seam();
  std::lock_guard<std::mutex> guard(seam.mutex);
  seam.hook = std::move(hook);
  if (!seam.hook) seam.mappedFiles.clear();
}

}  // namespace platform
