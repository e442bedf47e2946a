// File operations of the simulated machine on the host files behind drive C:
// and Z:, with locks, scheduled moves and injected faults.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwctype>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/codepage.h"
#include "platform/devices.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/files/file_marks.h"
#include "platform/sim/files/folder_index.h"
#include "platform/sim/machine/kernel_object.h"
#include "platform/sim/machine/last_error.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/shell_execute.h"
#include "platform/sim/files/windows_names.h"

namespace win {

namespace {

namespace fs = std::filesystem;

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case ENOSPC: return ERROR_DISK_FULL;
    default: return ERROR_ACCESS_DENIED;
  }
}

using platform::FailWith;

// Host path of a Windows path whose names Windows accepts for `use`; sets
// ERROR_PATH_NOT_FOUND when it has none, or the error Windows gives for its
// names (a device name, an invalid character).
bool Host(const std::wstring& path, fs::path* host, platform::PathUse use = platform::PathUse::Item) {
  // Split once: this runs for every file operation.
  const std::optional<platform::WindowsPathParts> split = platform::SplitWindowsPath(path);
  if (!split) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  const DWORD nameError = platform::PathNameError(*split, use);
  if (nameError != ERROR_SUCCESS) {
    SetLastError(nameError);
    return false;
  }
  auto mapped = platform::ToHostPath(*split);
  if (!mapped) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  *host = *mapped;
  return true;
}

bool Fault(const char* operation, const std::wstring& path) { return platform::ShouldFail(operation, path); }

// The error Windows gives for a missing item: file not found when its folder
// exists, path not found otherwise.
DWORD MissingError(const fs::path& host) {
  std::error_code error;
  return fs::is_directory(host.parent_path(), error) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool WildcardMatch(const std::wstring& pattern, const std::wstring& name) {
  if (pattern == L"*" || pattern == L"*.*") return true;
  std::size_t p = 0, n = 0, star = std::wstring::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || std::towlower(pattern[p]) == std::towlower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      mark = n;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

struct FindObject : KernelObject {
  std::vector<WIN32_FIND_DATAW> entries;
  std::size_t next = 0;
};

struct FileObject : KernelObject {
  int fd = -1;
  fs::path host;
  bool inheritable = false;  // SECURITY_ATTRIBUTES.bInheritHandle at creation
  ~FileObject() override {
    if (fd >= 0) ::close(fd);
  }
};

struct MappingObject : KernelObject {
  int fd = -1;
  std::size_t size = 0;  // the section's size, fixed when the mapping is created
  fs::path host;
  ~MappingObject() override {
    if (fd >= 0) ::close(fd);
  }
};

std::mutex g_viewsMutex;
std::map<const void*, std::size_t>& Views() {
  static std::map<const void*, std::size_t> views;
  return views;
}

std::mutex g_mapViewHookMutex;
std::function<void(const std::wstring&)>& MapViewHook() {
  static std::function<void(const std::wstring&)> hook;
  return hook;
}

std::size_t PageSize() {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

WIN32_FIND_DATAW FindDataFor(const fs::path& host, const std::wstring& name) {
  WIN32_FIND_DATAW data;
  data.cFileName = name;
  struct stat info {};
  if (::stat(host.c_str(), &info) == 0) {
    data.dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data.nFileSize = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
  }
  return data;
}

// Deletes a file or folder tree; stops at the first item that cannot go.
DWORD DeleteTree(const fs::path& host) {
  std::error_code error;
  struct stat info {};
  if (::lstat(host.c_str(), &info) != 0) return MissingError(host);
  if (S_ISDIR(info.st_mode)) {
    for (auto it = fs::directory_iterator(host, error); !error && it != fs::directory_iterator(); it.increment(error)) {
      DWORD rc = DeleteTree(it->path());
      if (rc != ERROR_SUCCESS) return rc;
    }
    if (::rmdir(host.c_str()) != 0) return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
  }
  if (platform::IsLocked(host)) return ERROR_SHARING_VIOLATION;
  if (::unlink(host.c_str()) != 0) return ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

bool AppendPendingRename(const std::wstring& from, const std::wstring& to) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr) != 0) {
    return false;
  }
  std::string bytes;
  DWORD size = 0;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == 0 && size > 0) {
    bytes.resize(size);
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()),
                     &size);
    // Drop the list's final NUL; the entries are appended before a new one.
    if (bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0) bytes.resize(bytes.size() - 2);
  }
  std::wstring entry = L"\\??\\" + from + std::wstring(1, L'\0') + (to.empty() ? L"" : L"\\??\\" + to) +
                       std::wstring(1, L'\0') + std::wstring(1, L'\0');
  bytes += platform::WideToUtf16Le(entry);
  LSTATUS rc = RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                              reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  return rc == 0;
}

// A stream over `file` whose writes all fail as on a full disk (the file
// stays as opened); reads and seeks go through.
std::FILE* FullDiskStream(std::FILE* file) {
  cookie_io_functions_t functions{};
  functions.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
    return static_cast<ssize_t>(std::fread(buffer, 1, size, static_cast<std::FILE*>(cookie)));
  };
  functions.write = [](void*, const char*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return 0;
  };
  functions.seek = [](void* cookie, off64_t* offset, int whence) -> int {
    auto* stream = static_cast<std::FILE*>(cookie);
    if (fseeko(stream, *offset, whence) != 0) return -1;
    *offset = ftello(stream);
    return 0;
  };
  functions.close = [](void* cookie) -> int { return std::fclose(static_cast<std::FILE*>(cookie)); };
  std::FILE* wrapped = fopencookie(file, "w+", functions);
  if (!wrapped) std::fclose(file);
  return wrapped;
}

}  // namespace

DWORD GetFileAttributesW(const std::wstring& path) {
  if (Fault("GetFileAttributes", path)) return INVALID_FILE_ATTRIBUTES;
  fs::path host;
  if (!Host(path, &host)) return INVALID_FILE_ATTRIBUTES;
  struct stat info {};
  if (::stat(host.c_str(), &info) != 0) return FailWith(MissingError(host), INVALID_FILE_ATTRIBUTES);
  DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(info.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  if (platform::IsEncrypted(host)) attributes |= FILE_ATTRIBUTE_ENCRYPTED;
  return attributes;
}

BOOL CreateDirectoryW(const std::wstring& path, const void*) {
  if (Fault("CreateDirectory", path)) return FALSE;
  fs::path host;
  if (!Host(path, &host, platform::PathUse::NewFolder)) return FALSE;
  if (::mkdir(host.c_str(), 0755) != 0) {
    if (errno == ENOENT) return FailWith(ERROR_PATH_NOT_FOUND, FALSE);
    return FailWith(ErrorFromErrno(errno), FALSE);
  }
  platform::NoteEntryAdded(host);
  return TRUE;
}

BOOL RemoveDirectoryW(const std::wstring& path) {
  if (Fault("RemoveDirectory", path)) return FALSE;
  fs::path host;
  if (!Host(path, &host)) return FALSE;
  if (::rmdir(host.c_str()) != 0) return FailWith(ErrorFromErrno(errno), FALSE);
  platform::NoteEntryRemoved(host);
  return TRUE;
}

BOOL DeleteFileW(const std::wstring& path) {
  if (Fault("DeleteFile", path)) return FALSE;
  fs::path host;
  if (!Host(path, &host)) return FALSE;
  struct stat info {};
  if (::lstat(host.c_str(), &info) != 0) return FailWith(MissingError(host), FALSE);
  if (S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED, FALSE);
  if (platform::IsLocked(host)) return FailWith(ERROR_SHARING_VIOLATION, FALSE);
  if (::unlink(host.c_str()) != 0) return FailWith(ErrorFromErrno(errno), FALSE);
  platform::NoteEntryRemoved(host);
  return TRUE;
}

BOOL MoveFileExW(const std::wstring& from, const std::wstring& to, DWORD flags) {
  if (Fault("MoveFileEx", from)) return FALSE;
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    if (!AppendPendingRename(from, to)) return FailWith(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
  }
  fs::path source, target;
  if (!Host(from, &source) || !Host(to, &target)) return FALSE;
  struct stat info {};
  if (::lstat(source.c_str(), &info) != 0) return FailWith(MissingError(source), FALSE);
  struct stat targetInfo {};
  if (::lstat(target.c_str(), &targetInfo) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(targetInfo.st_mode)) return FailWith(ERROR_ALREADY_EXISTS, FALSE);
    if (platform::IsLocked(target)) return FailWith(ERROR_SHARING_VIOLATION, FALSE);
  }
  if (::rename(source.c_str(), target.c_str()) == 0) {
    platform::MoveMarks(source, target);
    platform::NoteEntryRemoved(source);
    platform::NoteEntryAdded(target);
    return TRUE;
  }
  if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && !S_ISDIR(info.st_mode)) {
    if (platform::IsLocked(source)) return FailWith(ERROR_SHARING_VIOLATION, FALSE);
    std::error_code error;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
    if (!error) platform::NoteEntryAdded(target);
    if (error || ::unlink(source.c_str()) != 0) return FailWith(ERROR_ACCESS_DENIED, FALSE);
    platform::NoteEntryRemoved(source);
    return TRUE;
  }
  if (errno == ENOENT) return FailWith(ERROR_PATH_NOT_FOUND, FALSE);
  return FailWith(ErrorFromErrno(errno), FALSE);
}

BOOL CopyFileW(const std::wstring& from, const std::wstring& to, BOOL failIfExists) {
  if (Fault("CopyFile", from)) return FALSE;
  fs::path source, target;
  if (!Host(from, &source) || !Host(to, &target)) return FALSE;
  std::error_code error;
  if (!fs::is_regular_file(source, error)) return FailWith(MissingError(source), FALSE);
  if (fs::exists(target, error)) {
    if (failIfExists) return FailWith(ERROR_FILE_EXISTS, FALSE);
    if (platform::IsLocked(target)) return FailWith(ERROR_SHARING_VIOLATION, FALSE);
  }
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
  if (error) return FailWith(ERROR_ACCESS_DENIED, FALSE);
  platform::NoteEntryAdded(target);
  return TRUE;
}

int SHCreateDirectory(void*, const std::wstring& path) {
  if (Fault("SHCreateDirectory", path)) return static_cast<int>(GetLastError());
  fs::path host;
  if (!Host(path, &host, platform::PathUse::NewFolderTree)) {
    // A path without a drive the machine knows is no folder path at all.
    return static_cast<int>(GetLastError() == ERROR_PATH_NOT_FOUND ? ERROR_BAD_FORMAT : GetLastError());
  }
  std::error_code error;
  if (fs::is_directory(host, error)) return static_cast<int>(ERROR_ALREADY_EXISTS);
  // The folders that do not exist yet, innermost first.
  std::vector<fs::path> missing;
  std::error_code probe;
  for (fs::path p = host; !p.empty() && !fs::exists(p, probe); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  fs::create_directories(host, error);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) platform::NoteEntryAdded(*it);
  if (error) return static_cast<int>(ErrorFromErrno(error.value()));
  return static_cast<int>(ERROR_SUCCESS);
}

int SHFileOperationW(SHFILEOPSTRUCTW* operation) {
  if (!operation || operation->wFunc != FO_DELETE) return static_cast<int>(ERROR_INVALID_PARAMETER);
  std::size_t start = 0;
  const std::wstring& list = operation->pFrom;
  int result = 0;
  while (start < list.size() && list[start] != L'\0') {
    std::size_t end = list.find(L'\0', start);
    if (end == std::wstring::npos) end = list.size();
    std::wstring path = list.substr(start, end - start);
    start = end + 1;
    if (Fault("SHFileOperation", path)) return static_cast<int>(GetLastError());
    fs::path host;
    if (!Host(path, &host)) return static_cast<int>(GetLastError());
    DWORD rc = DeleteTree(host);
    platform::NoteEntryRemoved(host);
    if (rc != ERROR_SUCCESS) {
      operation->fAnyOperationsAborted = TRUE;
      result = static_cast<int>(rc);
      break;
    }
  }
  return result;
}

HANDLE FindFirstFileW(const std::wstring& pattern, WIN32_FIND_DATAW* data) {
  if (Fault("FindFirstFile", pattern)) return INVALID_HANDLE_VALUE;
  std::wstring normal = pattern;
  for (wchar_t& c : normal) {
    if (c == L'/') c = L'\\';
  }
  std::size_t slash = normal.rfind(L'\\');
  if (slash == std::wstring::npos || !data) return FailWith(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::wstring folder = normal.substr(0, slash);
  std::wstring namePattern = normal.substr(slash + 1);
  fs::path host;
  if (!Host(folder.size() == 2 ? folder + L"\\" : folder, &host)) return INVALID_HANDLE_VALUE;
  std::error_code error;
  if (!fs::is_directory(host, error)) return FailWith(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  auto* find = new FindObject();
  bool wildcard = namePattern.find_first_of(L"*?") != std::wstring::npos;
  if (wildcard && folder.size() > 2) {
    for (const wchar_t* dots : {L".", L".."}) {
      if (WildcardMatch(namePattern, dots)) {
        WIN32_FIND_DATAW entry;
        entry.cFileName = dots;
        entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        find->entries.push_back(entry);
      }
    }
  }
  for (auto it = fs::directory_iterator(host, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    std::wstring name = platform::Utf8ToWide(it->path().filename().string());
    bool match = wildcard ? WildcardMatch(namePattern, name) : platform::RegistryFold(name) == platform::RegistryFold(namePattern);
    if (match) find->entries.push_back(FindDataFor(it->path(), name));
  }
  if (find->entries.empty()) {
    delete find;
    return FailWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  }
  *data = find->entries[find->next++];
  return platform::RegisterHandle(find);
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
  auto* find = platform::HandleAs<FindObject>(handle);
  if (!find || !data) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (find->next >= find->entries.size()) return FailWith(ERROR_NO_MORE_FILES, FALSE);
  *data = find->entries[find->next++];
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!platform::HandleAs<FindObject>(handle)) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  return CloseHandle(handle);
}

HANDLE CreateFileW(const std::wstring& path, DWORD access, DWORD, const void* security, DWORD disposition, DWORD,
                   HANDLE) {
  if (Fault("CreateFile", path)) return INVALID_HANDLE_VALUE;
  if (path.compare(0, 4, L"\\\\.\\") == 0) return platform::OpenDevice(path.substr(4), access);
  fs::path host;
  if (!Host(path, &host)) return INVALID_HANDLE_VALUE;
  bool writing = access & GENERIC_WRITE;
  int flags = O_CLOEXEC | (writing ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    case OPEN_EXISTING: break;
    default: return FailWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  if (writing && platform::IsLocked(host)) return FailWith(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  int fd = ::open(host.c_str(), flags, 0644);
  if (fd < 0) {
    DWORD error = errno == ENOENT ? MissingError(host) : errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
    return FailWith(error, INVALID_HANDLE_VALUE);
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return FailWith(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  if (flags & O_CREAT) platform::NoteEntryAdded(host);
  auto* file = new FileObject();
  file->fd = fd;
  file->host = host;
  file->inheritable = security && static_cast<const SECURITY_ATTRIBUTES*>(security)->bInheritHandle;
  return platform::RegisterHandle(file);
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void*) {
  auto* file = platform::HandleAs<FileObject>(handle);
  if (!file) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  ssize_t n = ::read(file->fd, buffer, toRead);
  if (n < 0) return FailWith(ERROR_READ_FAULT, FALSE);
  if (read) *read = static_cast<DWORD>(n);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void*) {
  auto* file = platform::HandleAs<FileObject>(handle);
  if (!file) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (Fault("WriteFile", platform::ToWindowsPath(file->host))) return FALSE;
  const char* data = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(file->fd, data + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A full disk is reported as Windows reports it; anything else is a
      // write fault of the device.
      if (written) *written = done;
      return FailWith(n < 0 && errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT, FALSE);
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

HANDLE CreateFileMappingW(HANDLE handle, const void*, DWORD protect, DWORD sizeHigh, DWORD sizeLow, const wchar_t*) {
  auto* file = platform::HandleAs<FileObject>(handle);
  if (!file) return FailWith(ERROR_INVALID_HANDLE, static_cast<HANDLE>(nullptr));
  if (protect != PAGE_READONLY || sizeHigh || sizeLow) return FailWith(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  struct stat info {};
  if (::fstat(file->fd, &info) != 0) return FailWith(ERROR_INVALID_HANDLE, static_cast<HANDLE>(nullptr));
  // A mapping of the whole of an empty file is refused, as on Windows.
  if (info.st_size == 0) return FailWith(ERROR_FILE_INVALID, static_cast<HANDLE>(nullptr));
  auto* mapping = new MappingObject();
  mapping->fd = ::dup(file->fd);
  mapping->size = static_cast<std::size_t>(info.st_size);
  mapping->host = file->host;
  return platform::RegisterHandle(mapping);
}

const void* MapViewOfFile(HANDLE handle, DWORD access, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
  auto* mapping = platform::HandleAs<MappingObject>(handle);
  if (!mapping || access != FILE_MAP_READ || offsetHigh || offsetLow) return FailWith(ERROR_INVALID_PARAMETER, static_cast<const void*>(nullptr));
  std::size_t size = bytes ? bytes : mapping->size;
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, mapping->fd, 0);
  if (view == MAP_FAILED) return FailWith(ERROR_NOT_ENOUGH_MEMORY, static_cast<const void*>(nullptr));
  // As on Windows, the view ends with its section: the rest of its last
  // page reads as zeros even when the file has grown since the mapping was
  // made (Linux would show the new bytes there).
  const std::size_t tail = size % PageSize();
  if (tail != 0) {
    char* lastPage = static_cast<char*>(view) + (size - tail);
    if (::mprotect(lastPage, PageSize(), PROT_READ | PROT_WRITE) == 0) {
      std::memset(lastPage + tail, 0, PageSize() - tail);
      ::mprotect(lastPage, PageSize(), PROT_READ);
    }
  }
  {
    std::lock_guard<std::mutex> guard(g_viewsMutex);
    Views()[view] = size;
  }
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> guard(g_mapViewHookMutex);
    hook = MapViewHook();
  }
  if (hook) hook(platform::ToWindowsPath(mapping->host));
  return view;
}

std::size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, std::size_t length) {
  if (!info || length < sizeof(MEMORY_BASIC_INFORMATION)) return FailWith(ERROR_INVALID_PARAMETER, std::size_t{0});
  std::lock_guard<std::mutex> guard(g_viewsMutex);
  const char* wanted = static_cast<const char*>(address);
  auto it = Views().upper_bound(address);
  if (it == Views().begin()) return FailWith(ERROR_INVALID_PARAMETER, std::size_t{0});
  --it;
  const char* base = static_cast<const char*>(it->first);
  const std::size_t region = (it->second + PageSize() - 1) / PageSize() * PageSize();
  if (wanted >= base + region) return FailWith(ERROR_INVALID_PARAMETER, std::size_t{0});
  info->BaseAddress = base;
  info->RegionSize = region - static_cast<std::size_t>(wanted - base);
  return sizeof(MEMORY_BASIC_INFORMATION);
}

BOOL UnmapViewOfFile(const void* view) {
  std::size_t size = 0;
  {
    std::lock_guard<std::mutex> guard(g_viewsMutex);
    auto it = Views().find(view);
    if (it == Views().end()) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
    size = it->second;
    Views().erase(it);
  }
  ::munmap(const_cast<void*>(view), size);
  return TRUE;
}

std::FILE* _wfsopen(const std::wstring& path, const wchar_t* mode, int) {
  if (!mode) return nullptr;
  // Streams are opened for every file an archive holds: with no fault armed
  // at all, one look at the faults file serves both checks below.
  std::error_code faultsError;
  const bool faultsArmed = fs::exists(platform::Machine::Current().FaultsFile(), faultsError);
  if (faultsArmed && Fault("fopen", path)) {
    errno = EACCES;
    return nullptr;
  }
  fs::path host;
  if (!Host(path, &host)) {
    errno = ENOENT;
    return nullptr;
  }
  std::string narrowMode;
  bool writing = false;
  for (const wchar_t* m = mode; *m; ++m) {
    if (*m == L'w' || *m == L'a' || *m == L'+') writing = true;
    if (*m == L't') continue;  // text mode is the same as binary here
    narrowMode.push_back(static_cast<char>(*m));
  }
  // A folder opened for writing fails in fopen itself (EISDIR); for reading
  // it has to be refused here.
  std::error_code folderError;
  if (!writing && fs::is_directory(host, folderError)) {
    SetLastError(ERROR_ACCESS_DENIED);
    errno = EISDIR;
    return nullptr;
  }
  if (writing && platform::IsLocked(host)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    errno = EACCES;
    return nullptr;
  }
  std::FILE* file = std::fopen(host.c_str(), narrowMode.c_str());
  if (!file) {
    SetLastError(errno == ENOENT ? MissingError(host) : ErrorFromErrno(errno));
    return nullptr;
  }
  if (writing) platform::NoteEntryAdded(host);
  if (faultsArmed && writing && Fault("fwrite", path)) return FullDiskStream(file);
  return file;
}

std::FILE* _wfopen(const std::wstring& path, const wchar_t* mode) { return _wfsopen(path, mode, _SH_DENYNO); }

int _fseeki64(std::FILE* stream, std::int64_t offset, int origin) {
  return fseeko(stream, static_cast<off_t>(offset), origin);
}

std::int64_t _ftelli64(std::FILE* stream) { return ftello(stream); }

}  // namespace win

namespace platform {

int InheritableFileDescriptor(win::HANDLE handle) {
  auto* file = HandleAs<win::FileObject>(handle);
  return file && file->inheritable ? file->fd : -1;
}

void SetAfterMapViewForTesting(std::function<void(const std::wstring& path)> hook) {
  std::lock_guard<std::mutex> guard(win::g_mapViewHookMutex);
  win::MapViewHook() = std::move(hook);
}

}  // namespace platform
