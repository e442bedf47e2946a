// Version queries answered from the machine profile.
#include "platform/version.h"

#include <cstring>
#include <cwctype>
#include <iterator>
#include <string>

#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/machine.h"
#include "platform/resources.h"

namespace win {

namespace {

const platform::Profile& Profile() { return platform::Machine::Current().GetProfile(); }

int BitIndex(DWORD typeBit) {
  for (int i = 0; i < 8; ++i) {
    if (typeBit == (1u << i)) return i;
  }
  return -1;
}

BYTE ConditionOf(DWORDLONG mask, DWORD typeBit) {
  int i = BitIndex(typeBit);
  return i < 0 ? 0 : static_cast<BYTE>((mask >> (i * 3)) & 7);
}

bool Compare(long long actual, long long wanted, BYTE condition) {
  switch (condition) {
    case VER_EQUAL: return actual == wanted;
    case VER_GREATER: return actual > wanted;
    case VER_GREATER_EQUAL: return actual >= wanted;
    case VER_LESS: return actual < wanted;
    case VER_LESS_EQUAL: return actual <= wanted;
    default: return false;
  }
}

BOOL ProductInfo(DWORD, DWORD, DWORD, DWORD, DWORD* productType) {
  if (!productType || platform::ShouldFail("GetProductInfo")) return FALSE;
  *productType = Profile().productType;
  return TRUE;
}

struct LoadedKernel32 {};
LoadedKernel32 g_kernel32;

}  // namespace

NTSTATUS RtlGetVersion(OSVERSIONINFOEXW* info) {
  if (!info) return static_cast<NTSTATUS>(0xC000000D);  // STATUS_INVALID_PARAMETER
  const platform::Profile& p = Profile();
  *info = OSVERSIONINFOEXW{};
  info->dwMajorVersion = p.hasCurrentMajorVersionNumber ? 10 : p.major;
  info->dwMinorVersion = p.hasCurrentMajorVersionNumber ? 0 : p.minor;
  info->dwBuildNumber = p.build;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  if (p.servicePackMajor > 0) {
    const std::wstring servicePack = L"Service Pack " + std::to_wstring(p.servicePackMajor);
    servicePack.copy(info->szCSDVersion, std::size(info->szCSDVersion) - 1);
  }
  info->wServicePackMajor = static_cast<WORD>(p.servicePackMajor);
  info->wServicePackMinor = static_cast<WORD>(p.servicePackMinor);
  info->wSuiteMask = p.personalSuite ? VER_SUITE_PERSONAL : 0;
  info->wProductType = p.workstation ? VER_NT_WORKSTATION : VER_NT_SERVER;
  return STATUS_SUCCESS;
}

DWORDLONG VerSetConditionMask(DWORDLONG mask, DWORD typeBit, BYTE condition) {
  int i = BitIndex(typeBit);
  if (i < 0) return mask;
  mask &= ~(DWORDLONG{7} << (i * 3));
  return mask | (DWORDLONG{condition} & 7) << (i * 3);
}

BOOL VerifyVersionInfoW(OSVERSIONINFOEXW* info, DWORD typeMask, DWORDLONG conditionMask) {
  if (!info || typeMask == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (platform::ShouldFail("VerifyVersionInfo")) return FALSE;
  const platform::Profile& p = Profile();
  bool ok = true;
  // Major, minor and service pack compare as one version number when they
  // share a relational condition, as the platform does.
  const DWORD versionBits = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR;
  BYTE majorCondition = ConditionOf(conditionMask, VER_MAJORVERSION);
  bool hierarchical = (typeMask & VER_MAJORVERSION) && majorCondition != VER_EQUAL;
  if (hierarchical) {
    long long actual = 0, wanted = 0;
    const struct {
      DWORD bit;
      long long actual, wanted;
    } parts[] = {{VER_MAJORVERSION, p.major, info->dwMajorVersion},
                 {VER_MINORVERSION, p.minor, info->dwMinorVersion},
                 {VER_SERVICEPACKMAJOR, p.servicePackMajor, info->wServicePackMajor},
                 {VER_SERVICEPACKMINOR, p.servicePackMinor, info->wServicePackMinor}};
    for (const auto& part : parts) {
      actual = actual * 1000 + ((typeMask & part.bit) ? part.actual : 0);
      wanted = wanted * 1000 + ((typeMask & part.bit) ? part.wanted : 0);
    }
    ok = Compare(actual, wanted, majorCondition);
  } else {
    if (typeMask & VER_MAJORVERSION) ok &= Compare(p.major, info->dwMajorVersion, majorCondition);
    if (typeMask & VER_MINORVERSION) ok &= Compare(p.minor, info->dwMinorVersion, ConditionOf(conditionMask, VER_MINORVERSION));
    if (typeMask & VER_SERVICEPACKMAJOR)
      ok &= Compare(p.servicePackMajor, info->wServicePackMajor, ConditionOf(conditionMask, VER_SERVICEPACKMAJOR));
    if (typeMask & VER_SERVICEPACKMINOR)
      ok &= Compare(p.servicePackMinor, info->wServicePackMinor, ConditionOf(conditionMask, VER_SERVICEPACKMINOR));
  }
  (void)versionBits;
  if (typeMask & VER_BUILDNUMBER) ok &= Compare(p.build, info->dwBuildNumber, ConditionOf(conditionMask, VER_BUILDNUMBER));
  if (typeMask & VER_PLATFORMID) ok &= Compare(VER_PLATFORM_WIN32_NT, info->dwPlatformId, ConditionOf(conditionMask, VER_PLATFORMID));
  if (typeMask & VER_PRODUCT_TYPE) {
    BYTE actual = p.workstation ? VER_NT_WORKSTATION : VER_NT_SERVER;
    ok &= Compare(actual, info->wProductType, ConditionOf(conditionMask, VER_PRODUCT_TYPE));
  }
  if (typeMask & VER_SUITENAME) {
    WORD suite = p.personalSuite ? VER_SUITE_PERSONAL : 0;
    BYTE condition = ConditionOf(conditionMask, VER_SUITENAME);
    ok &= condition == VER_OR ? (suite & info->wSuiteMask) != 0 : (suite & info->wSuiteMask) == info->wSuiteMask;
  }
  if (!ok) {
    SetLastError(ERROR_OLD_WIN_VERSION);
    return FALSE;
  }
  return TRUE;
}

int GetSystemMetrics(int index) {
  const platform::Profile& p = Profile();
  switch (index) {
    case SM_CXSCREEN: return p.screenWidth;
    case SM_CYSCREEN: return p.screenHeight;
    case SM_TABLETPC: return p.tabletPc ? 1 : 0;
    case SM_MEDIACENTER: return p.mediaCenter ? 1 : 0;
    case SM_STARTER: return p.starter ? 1 : 0;
    default: return 0;
  }
}

void GetNativeSystemInfo(SYSTEM_INFO* info) {
  if (!info) return;
  info->wProcessorArchitecture = Profile().x64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL;
  info->dwNumberOfProcessors = 2;
}

HMODULE LoadLibraryW(const wchar_t* name) {
  std::wstring folded;
  for (const wchar_t* c = name; c && *c; ++c) folded.push_back(static_cast<wchar_t>(std::towlower(*c)));
  if ((folded == L"kernel32.dll" || folded == L"kernel32") && !platform::ShouldFail("LoadLibrary", folded)) {
    return reinterpret_cast<HMODULE>(&g_kernel32);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (module == reinterpret_cast<HMODULE>(&g_kernel32) && name && std::strcmp(name, "GetProductInfo") == 0 &&
      Profile().hasGetProductInfo) {
    return reinterpret_cast<FARPROC>(&ProductInfo);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (platform::FreeResourceModule(module)) return TRUE;
  return module == reinterpret_cast<HMODULE>(&g_kernel32) ? TRUE : FALSE;
}

}  // namespace win
