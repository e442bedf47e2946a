// Names and views of open registry keys, from the kernel's own name of the
// key (NtQueryKey of ntdll, found at run time).
#include "platform/windows/registry_views.h"

#include <cstdint>
#include <cwctype>
#include <vector>

namespace platform_windows {

namespace {

// KEY_INFORMATION_CLASS's KeyNameInformation and its record: the length in
// bytes, then the name ("\REGISTRY\MACHINE\SOFTWARE\...").
constexpr int kKeyNameInformation = 3;
struct KeyNameRecord {
  ::ULONG NameLength;
  ::WCHAR Name[1];
};
using NtQueryKeyFunction = ::LONG(WINAPI*)(::HANDLE key, int informationClass, void* information, ::ULONG length,
                                           ::ULONG* resultLength);

NtQueryKeyFunction NtQueryKey() {
  static const NtQueryKeyFunction function = reinterpret_cast<NtQueryKeyFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  return function;
}

std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

bool StartsWithFolded(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && Folded(text.substr(0, prefix.size())) == Folded(prefix);
}

}  // namespace

bool IsPredefinedKey(::HKEY key) {
  const auto value = reinterpret_cast<std::uintptr_t>(key);
  return value >= 0x80000000u && value <= 0x80000060u;
}

std::wstring OpenKeyName(::HKEY key) {
  if (IsPredefinedKey(key) || !NtQueryKey()) return std::wstring();
  std::vector<unsigned char> buffer(512);
  ::ULONG needed = 0;
  ::LONG status = NtQueryKey()(key, kKeyNameInformation, buffer.data(), static_cast<::ULONG>(buffer.size()), &needed);
  if (status < 0 && needed > buffer.size()) {
    buffer.resize(needed);
    status = NtQueryKey()(key, kKeyNameInformation, buffer.data(), static_cast<::ULONG>(buffer.size()), &needed);
  }
  if (status < 0) return std::wstring();
  const auto* record = reinterpret_cast<const KeyNameRecord*>(buffer.data());
  const std::wstring name(record->Name, record->NameLength / sizeof(::WCHAR));
  for (const auto& root : {std::pair<const wchar_t*, const wchar_t*>{L"\\REGISTRY\\MACHINE", L"HKLM"},
                           std::pair<const wchar_t*, const wchar_t*>{L"\\REGISTRY\\USER", L"HKU"}}) {
    const std::wstring prefix = root.first;
    if (StartsWithFolded(name, prefix) && (name.size() == prefix.size() || name[prefix.size()] == L'\\')) {
      return root.second + name.substr(prefix.size());
    }
  }
  return std::wstring();
}

::REGSAM ViewOfOpenKey(::HKEY key) {
  const std::wstring name = Folded(OpenKeyName(key));
  if (name.empty()) return 0;
  const std::wstring node = L"\\WOW6432NODE";
  for (std::size_t at = name.find(node); at != std::wstring::npos; at = name.find(node, at + 1)) {
    const std::size_t end = at + node.size();
    if (end == name.size() || name[end] == L'\\') return KEY_WOW64_32KEY;
  }
  return KEY_WOW64_64KEY;
}

bool ProcessRunsUnderWow64() {
  static const bool wow64 = [] {
    ::BOOL result = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &result) && result;
  }();
  return wow64;
}

}  // namespace platform_windows
