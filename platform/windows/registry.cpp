// The registry through advapi32. The interface's view rule is kept where the
// system does not keep it by itself: a key opened, created or deleted below
// an open key lies in that key's view, so a 32-bit installer that opened
// HKLM\SOFTWARE in the 64-bit view reaches the 64-bit keys below it.
#include "platform/registry.h"

#include <cwctype>
#include <vector>

#include "platform/windows/system_security.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/registry_views.h"

namespace {

using platform_windows::IsPredefinedKey;
using platform_windows::Native;
using platform_windows::ViewOfOpenKey;
using platform_windows::Wrapped;

constexpr ::REGSAM kViews = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// The registry calls answer with a status; the interface also leaves it as
// the thread's last error when it is a failure.
win::LSTATUS Answer(::LONG status) {
  if (status != ERROR_SUCCESS) ::SetLastError(static_cast<::DWORD>(status));
  return static_cast<win::LSTATUS>(status);
}

// The view a subkey of `root` is reached in: the one asked for, else the
// view of an open key, else the process's own (predefined roots).
::REGSAM InViewOf(::HKEY root, ::REGSAM access) {
  if ((access & kViews) || IsPredefinedKey(root)) return access;
  return access | ViewOfOpenKey(root);
}

// Whether `path` is `key` or lies below it, ignoring case.
bool IsKeyOrBelow(const std::wstring& path, const std::wstring& key) {
  if (path.size() < key.size() || (path.size() > key.size() && path[key.size()] != L'\\')) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (std::towupper(path[i]) != std::towupper(key[i])) return false;
  }
  return true;
}

bool NamesNoSubkey(const std::wstring& subKey) { return subKey.find_first_not_of(L'\\') == std::wstring::npos; }

// Deletes `subKey` of `parent` with everything below it, depth first, each
// key in the view of the key above it; stops at the first key that cannot go.
::LONG DeleteTree(::HKEY parent, const std::wstring& subKey, ::REGSAM view) {
  ::HKEY key = nullptr;
  const ::REGSAM access = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | view;
  ::LONG status = ::RegOpenKeyExW(parent, subKey.c_str(), 0, access, &key);
  if (status != ERROR_SUCCESS) return status;
  const ::REGSAM keyView = ViewOfOpenKey(key);
  const ::REGSAM childView = keyView ? keyView : view;
  while (status == ERROR_SUCCESS) {
    wchar_t name[256];  // the longest key name the registry allows, and its NUL
    ::DWORD length = 256;
    status = ::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) {
      status = ERROR_SUCCESS;
      break;
    }
    if (status == ERROR_SUCCESS) status = DeleteTree(key, std::wstring(name, length), childView);
  }
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return status;
  return ::RegDeleteKeyExW(parent, subKey.c_str(), view, 0);
}

}  // namespace

namespace win {

LSTATUS RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD, const wchar_t* keyClass, DWORD options,
                        REGSAM access, const void* security, HKEY* result, DWORD* disposition) {
  if (!result) return Answer(ERROR_INVALID_PARAMETER);
  platform_windows::SystemSecurityAttributes attributes(security);
  ::HKEY key = nullptr;
  ::DWORD created = 0;
  const ::LONG status = ::RegCreateKeyExW(Native(root), subKey.c_str(), 0, const_cast<wchar_t*>(keyClass), options,
                                          InViewOf(Native(root), access), attributes.get(), &key, &created);
  if (status != ERROR_SUCCESS) return Answer(status);
  *result = Wrapped(key);
  if (disposition) *disposition = created;
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyW(HKEY root, const std::wstring& subKey, HKEY* result) {
  // A new handle even for an empty subkey (RegCreateKeyW itself would hand
  // back `root`, whose closing would close the caller's key).
  return RegCreateKeyExW(root, subKey, 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, result, nullptr);
}

LSTATUS RegOpenKeyExW(HKEY root, const std::wstring& subKey, DWORD options, REGSAM access, HKEY* result) {
  if (!result) return Answer(ERROR_INVALID_PARAMETER);
  ::HKEY key = nullptr;
  const ::LONG status = ::RegOpenKeyExW(Native(root), subKey.c_str(), options, InViewOf(Native(root), access), &key);
  if (status != ERROR_SUCCESS) return Answer(status);
  *result = Wrapped(key);
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyW(HKEY root, const std::wstring& subKey, HKEY* result) {
  return RegOpenKeyExW(root, subKey, 0, MAXIMUM_ALLOWED, result);
}

LSTATUS RegQueryValueExW(HKEY key, const std::wstring& name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  ::DWORD valueType = 0;
  ::DWORD bytes = size ? *size : 0;
  const ::LONG status =
      ::RegQueryValueExW(Native(key), name.c_str(), nullptr, &valueType, data, size ? &bytes : nullptr);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type) *type = valueType;
    if (size) *size = bytes;
  }
  return Answer(status);
}

LSTATUS RegSetValueExW(HKEY key, const std::wstring& name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (!text || !data || size < sizeof(wchar_t)) {
    return Answer(::RegSetValueExW(Native(key), name.c_str(), 0, type, data, size));
  }
  // The system stores a string's terminator that the size leaves out when
  // one follows the data in memory, so what it stores would depend on the
  // caller's memory behind the text. The interface stores the bytes given:
  // they are passed with a character other than NUL behind them.
  std::vector<BYTE> bytes(data, data + size);
  bytes.insert(bytes.end(), {0xFF, 0xFF});
  return Answer(::RegSetValueExW(Native(key), name.c_str(), 0, type, bytes.data(), size));
}

LSTATUS RegDeleteValueW(HKEY key, const std::wstring& name) {
  return Answer(::RegDeleteValueW(Native(key), name.c_str()));
}

LSTATUS RegDeleteKeyW(HKEY root, const std::wstring& subKey) {
  // An empty subkey would name `root` itself.
  if (NamesNoSubkey(subKey)) return Answer(ERROR_ACCESS_DENIED);
  return Answer(::RegDeleteKeyExW(Native(root), subKey.c_str(), InViewOf(Native(root), 0), 0));
}

LSTATUS SHDeleteKeyW(HKEY root, const std::wstring& subKey) {
  if (NamesNoSubkey(subKey)) return Answer(ERROR_ACCESS_DENIED);
  return Answer(DeleteTree(Native(root), subKey, InViewOf(Native(root), 0)));
}

LSTATUS RegCloseKey(HKEY key) { return Answer(::RegCloseKey(Native(key))); }

}  // namespace win

namespace platform {

std::wstring ResolveRegistryPath(win::HKEY root, const std::wstring& subKey, win::REGSAM access) {
  const ::HKEY native = Native(root);
  std::wstring base;
  bool predefined = true;
  if (native == HKEY_LOCAL_MACHINE) {
    base = L"HKLM";
  } else if (native == HKEY_USERS) {
    base = L"HKU";
  } else if (native == HKEY_CURRENT_USER) {
    // The calling thread's user, as the system names the user's hive.
    ::HKEY user = nullptr;
    if (::RegOpenCurrentUser(KEY_QUERY_VALUE, &user) != ERROR_SUCCESS) return std::wstring();
    base = platform_windows::OpenKeyName(user);
    ::RegCloseKey(user);
  } else {
    // A subkey of an open key lies in the same view as the key.
    base = platform_windows::OpenKeyName(native);
    predefined = false;
  }
  if (base.empty()) return std::wstring();
  const std::size_t first = subKey.find_first_not_of(L'\\');
  const std::wstring rest =
      first == std::wstring::npos ? std::wstring() : subKey.substr(first, subKey.find_last_not_of(L'\\') - first + 1);
  std::wstring path = rest.empty() ? base : base + L"\\" + rest;
  // HKLM\SOFTWARE of a 32-bit process on 64-bit Windows is its Wow6432Node.
  if (predefined && !(access & KEY_WOW64_64KEY) && platform_windows::ProcessRunsUnderWow64() &&
      IsKeyOrBelow(path, L"HKLM\\SOFTWARE") && !IsKeyOrBelow(path, L"HKLM\\SOFTWARE\\WOW6432NODE")) {
    path.insert(std::wstring(L"HKLM\\SOFTWARE").size(), L"\\Wow6432Node");
  }
  return path;
}

}  // namespace platform
