// File operations of the simulated machine, by their Windows names. Paths are
// Windows paths (see paths.h) whose names follow Windows' rules (see
// windows_names.h: device names, invalid characters, trailing dots and
// spaces); locked files refuse deletion, moves and writes with
// ERROR_SHARING_VIOLATION; injected faults fail an operation for a path with
// the error the test chose.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/win_types.h"

namespace win {

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_ENCRYPTED = 0x4000;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4;

constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD FILE_MAP_READ = 0x0004;

// Sharing flags of _wfsopen.
constexpr int _SH_DENYRW = 0x10;
constexpr int _SH_DENYWR = 0x20;
constexpr int _SH_DENYRD = 0x30;
constexpr int _SH_DENYNO = 0x40;

DWORD GetFileAttributesW(const std::wstring& path);
BOOL CreateDirectoryW(const std::wstring& path, const void* securityAttributes);
BOOL RemoveDirectoryW(const std::wstring& path);
BOOL DeleteFileW(const std::wstring& path);
// MOVEFILE_DELAY_UNTIL_REBOOT records the move (or, with an empty target, the
// deletion) in the registry value where Windows keeps pending renames.
BOOL MoveFileExW(const std::wstring& from, const std::wstring& to, DWORD flags);
BOOL CopyFileW(const std::wstring& from, const std::wstring& to, BOOL failIfExists);

// SHCreateDirectory: creates the folder with all missing parents; returns
// ERROR_SUCCESS, ERROR_ALREADY_EXISTS or the failure code.
int SHCreateDirectory(void* window, const std::wstring& path);

// SHFileOperationW with FO_DELETE of one path: deletes a file or a folder with
// its whole contents. Returns 0 on success, otherwise an error code; a locked
// item inside stops the deletion there.
constexpr unsigned FO_DELETE = 3;
constexpr unsigned FOF_SILENT = 0x4;
constexpr unsigned FOF_NOCONFIRMATION = 0x10;
constexpr unsigned FOF_NOERRORUI = 0x400;
struct SHFILEOPSTRUCTW {
  void* hwnd = nullptr;
  unsigned wFunc = 0;
  std::wstring pFrom;  // the paths, each followed by a NUL, the list by a second NUL
  std::wstring pTo;
  unsigned fFlags = 0;
  BOOL fAnyOperationsAborted = FALSE;
};
int SHFileOperationW(SHFILEOPSTRUCTW* operation);

// Directory search, FindFirstFileW semantics: the pattern is a folder and a
// file-name pattern with "*" and "?" (matched ignoring case).
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes = 0;
  std::uint64_t nFileSize = 0;
  std::wstring cFileName;
};
HANDLE FindFirstFileW(const std::wstring& pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);

// The file name at the end of a path (shlwapi's PathFindFileNameW): what
// follows its last "\", "/" or ":" that has a name after it, so a trailing
// separator stays with the last name ("C:\dir\" gives "dir\"); the whole
// path when it has no separator.
std::wstring PathFindFileNameW(const std::wstring& path);
// Appends `more` to `path` with one backslash between them (shlwapi's
// PathAppendW): none is added after a path that ends in "\" or "/" or is
// empty, and the leading backslashes of `more` are dropped. FALSE for a null
// `path`.
BOOL PathAppendW(std::wstring* path, const std::wstring& more);

// Kernel file handles. `security` is a SECURITY_ATTRIBUTES (shell_execute.h)
// or null; with bInheritHandle the handle can become a started program's
// standard stream. "\\.\<name>" opens a driver's control device (devices.h).
HANDLE CreateFileW(const std::wstring& path, DWORD access, DWORD share, const void* security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
HANDLE CreateFileMappingW(HANDLE file, const void* security, DWORD protect, DWORD sizeHigh,
                          DWORD sizeLow, const wchar_t* name);
const void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                          std::size_t bytes);
BOOL UnmapViewOfFile(const void* view);
// VirtualQuery for an address inside a mapped view: the view's base and the
// bytes from `address` to the end of the view's last page, the view's size
// rounded up to whole pages as Windows reports the region (the bytes past the
// section's end read as zeros). Returns the size of the record filled, or 0
// (ERROR_INVALID_PARAMETER) for an address in no view.
struct MEMORY_BASIC_INFORMATION {
  const void* BaseAddress = nullptr;
  std::size_t RegionSize = 0;
};
std::size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, std::size_t length);
BOOL CloseHandle(HANDLE handle);

// CRT streams on Windows paths: _wfsopen honours the sharing flag against
// locked files (a write-mode open of a locked file fails). The fault
// "fwrite" for a path makes a write-mode open of it succeed with a stream
// whose every write fails, as on a full disk.
std::FILE* _wfsopen(const std::wstring& path, const wchar_t* mode, int shareFlag);
std::FILE* _wfopen(const std::wstring& path, const wchar_t* mode);
// 64-bit stream positions (the CRT's _fseeki64/_ftelli64): 0 or the position
// on success, -1 on failure, as their 32-bit namesakes.
int _fseeki64(std::FILE* stream, std::int64_t offset, int origin);
std::int64_t _ftelli64(std::FILE* stream);

}  // namespace win

namespace platform {

// The host descriptor behind a file handle created inheritable; -1 for any
// other handle.
int InheritableFileDescriptor(win::HANDLE handle);

// Test seam: called with the file's Windows path right after MapViewOfFile
// has mapped a view of it, so that a test can change the file at that
// moment, as another program could. An empty function removes it.
void SetAfterMapViewForTesting(std::function<void(const std::wstring& path)> hook);

}  // namespace platform
