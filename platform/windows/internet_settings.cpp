// WinINet's preconfigured proxy, read where WinINet keeps the user's
// choice: ProxyEnable and ProxyServer of the user's Internet settings.
#include "platform/internet_settings.h"

#include "platform/common/proxy_list.h"

#include "platform/win_types.h"  // before the system's macros, which windows_api.h brings
#include "platform/windows/windows_api.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The proxy server text when the proxy is on; empty otherwise.
std::wstring EnabledProxyServer() {
  ::DWORD enabled = 0;
  ::DWORD size = sizeof enabled;
  if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr, &enabled, &size) !=
          ERROR_SUCCESS ||
      enabled == 0) {
    return std::wstring();
  }
  size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"ProxyServer", RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return std::wstring();
  }
  std::wstring server(size / sizeof(wchar_t), L'\0');
  if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"ProxyServer", RRF_RT_REG_SZ, nullptr, server.data(), &size) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  server.resize(server.find(L'\0') == std::wstring::npos ? server.size() : server.find(L'\0'));
  return server;
}

}  // namespace

namespace win {

std::wstring InternetPreconfiguredProxy(const std::wstring& scheme) {
  const std::wstring server = EnabledProxyServer();
  return platform::ProxyForScheme(server, scheme);
}

}  // namespace win
