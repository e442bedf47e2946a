// Crash points of the Windows program: armed by the environment variable
// BVL_CRASH_POINT, "<point>" or "<point>:<way>" with the way as the crash's
// exception code (0xC00000FD, or in decimal); without a way, or with one that
// names none, the point crashes by invalid access. A test harness sets it for
// the program it starts; nothing else does.
#include "platform/crash_points.h"

#include "platform/windows/windows_api.h"

#include <cwchar>
#include <string>

#include "platform/common/crash_ways.h"

namespace platform {
namespace {

constexpr wchar_t kArmingVariable[] = L"BVL_CRASH_POINT";

std::wstring ArmingText() {
  wchar_t buffer[256];
  const ::DWORD length = ::GetEnvironmentVariableW(kArmingVariable, buffer, 256);
  return length > 0 && length < 256 ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace

void CrashIfInjected(const wchar_t* point) {
  const std::wstring armed = ArmingText();
  if (armed.empty() || point == nullptr) return;
  const std::size_t colon = armed.find(L':');
  if (::CompareStringOrdinal(armed.c_str(), static_cast<int>(colon == std::wstring::npos ? armed.size() : colon),
                             point, -1, TRUE) != CSTR_EQUAL) {
    return;
  }
  win::DWORD way = crash_way::kInvalidAccess;
  if (colon != std::wstring::npos) way = static_cast<win::DWORD>(std::wcstoul(armed.c_str() + colon + 1, nullptr, 0));
  CrashInWay(way, point);
}

}  // namespace platform
