// The Windows types, handles and constants that the installer's code is written
// against. The simulated machine gives them their meaning; their values are the
// platform's published ones so that flags and codes read as they do on Windows.
#pragma once

#include <cstdint>
#include <string>

// The calling convention of the system's own functions, for pointers to
// functions that the system exports (GetProcAddress): __stdcall on 32-bit
// Windows, where a call through a pointer without it leaves the stack
// unbalanced; nothing elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define BVL_WINAPI __stdcall
#else
#define BVL_WINAPI
#endif

namespace win {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = int;
using REGSAM = DWORD;
using LSTATUS = LONG;
using USHORT = std::uint16_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Generic kernel handle: processes, tokens, files, mappings, snapshots, events.
struct KernelObject;
using HANDLE = KernelObject*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Registry key handle. The predefined roots are small sentinel values as on Windows.
struct RegistryKey;
using HKEY = RegistryKey*;
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(std::uintptr_t{0x80000003});

// Module handle returned by LoadLibraryW.
struct LoadedModule;
using HMODULE = LoadedModule*;

// Error codes (GetLastError and registry results).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_NO_TOKEN = 1008;
constexpr DWORD ERROR_LOGON_FAILURE = 1326;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_OLD_WIN_VERSION = 1150;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_KEY_DELETED = 1018;

DWORD GetLastError();
void SetLastError(DWORD error);

constexpr std::size_t MAX_PATH = 260;

}  // namespace win
