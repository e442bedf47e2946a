// WinINet's preconfigured proxy, read from the user's registry hive.
#include "platform/internet_settings.h"

#include "platform/common/proxy_list.h"

#include "platform/codepage.h"
#include "platform/registry.h"

namespace win {
namespace {

const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

}  // namespace

std::wstring InternetPreconfiguredProxy(const std::wstring& scheme) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::wstring();
  DWORD enabled = 0;
  DWORD type = 0;
  DWORD size = sizeof(enabled);
  const bool on = RegQueryValueExW(key, L"ProxyEnable", nullptr, &type, reinterpret_cast<BYTE*>(&enabled), &size) ==
                      ERROR_SUCCESS &&
                  type == REG_DWORD && enabled != 0;
  std::wstring server;
  size = 0;
  if (on && RegQueryValueExW(key, L"ProxyServer", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ && size > 0) {
    std::string bytes(size, '\0');
    if (RegQueryValueExW(key, L"ProxyServer", nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) ==
        ERROR_SUCCESS) {
      server = platform::Utf16LeToWide(bytes.substr(0, size));
      const std::size_t nul = server.find(L'\0');
      if (nul != std::wstring::npos) server.resize(nul);
    }
  }
  RegCloseKey(key);
  return platform::ProxyForScheme(server, scheme);
}

}  // namespace win
