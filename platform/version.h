// Version queries of the machine: what VerifyVersionInfoW, GetProductInfo,
// GetSystemMetrics and GetNativeSystemInfo report for its profile.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace win {

struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  wchar_t szCSDVersion[128] = {};
  WORD wServicePackMajor = 0;
  WORD wServicePackMinor = 0;
  WORD wSuiteMask = 0;
  BYTE wProductType = 0;
  BYTE wReserved = 0;
};

using DWORDLONG = std::uint64_t;
constexpr DWORD VER_MINORVERSION = 0x01;
constexpr DWORD VER_MAJORVERSION = 0x02;
constexpr DWORD VER_BUILDNUMBER = 0x04;
constexpr DWORD VER_PLATFORMID = 0x08;
constexpr DWORD VER_SERVICEPACKMINOR = 0x10;
constexpr DWORD VER_SERVICEPACKMAJOR = 0x20;
constexpr DWORD VER_SUITENAME = 0x40;
constexpr DWORD VER_PRODUCT_TYPE = 0x80;
constexpr BYTE VER_EQUAL = 1;
constexpr BYTE VER_GREATER = 2;
constexpr BYTE VER_GREATER_EQUAL = 3;
constexpr BYTE VER_LESS = 4;
constexpr BYTE VER_LESS_EQUAL = 5;
constexpr BYTE VER_AND = 6;
constexpr BYTE VER_OR = 7;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_SERVER = 3;
constexpr WORD VER_SUITE_PERSONAL = 0x0200;

// RtlGetVersion: the version the system itself runs, which no application
// manifest changes (Windows 10 is 10.0 here even where VerifyVersionInfoW
// sees 6.2), with its service pack text ("Service Pack 3", or empty), product
// type and suites. STATUS_SUCCESS (0); for a null record the negative
// status of an invalid parameter (0xC000000D).
using NTSTATUS = LONG;
constexpr NTSTATUS STATUS_SUCCESS = 0;
NTSTATUS RtlGetVersion(OSVERSIONINFOEXW* info);

DWORDLONG VerSetConditionMask(DWORDLONG mask, DWORD typeBit, BYTE condition);
// TRUE when the machine meets every requirement named in `typeMask`; FALSE
// with ERROR_OLD_WIN_VERSION when it does not.
BOOL VerifyVersionInfoW(OSVERSIONINFOEXW* info, DWORD typeMask, DWORDLONG conditionMask);

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_TABLETPC = 86;
constexpr int SM_MEDIACENTER = 87;
constexpr int SM_STARTER = 88;
int GetSystemMetrics(int index);

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
struct SYSTEM_INFO {
  WORD wProcessorArchitecture = 0;
  DWORD dwNumberOfProcessors = 0;
};
void GetNativeSystemInfo(SYSTEM_INFO* info);

// Run-time linking: kernel32.dll is the only library; it exports
// GetProductInfo on Vista and later profiles, with the system's calling
// convention.
using FARPROC = void (*)();
using GetProductInfoFunction = BOOL(BVL_WINAPI*)(DWORD major, DWORD minor, DWORD spMajor, DWORD spMinor, DWORD* productType);
HMODULE LoadLibraryW(const wchar_t* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

}  // namespace win
