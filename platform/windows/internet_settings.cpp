// WinINet's preconfigured proxy, read where WinINet keeps the user's
// choice: ProxyEnable and ProxyServer of the user's Internet settings.
#include "platform/internet_settings.h"

#include "platform/win_types.h"  // before the system's macros, which windows_api.h brings
#include "platform/windows/windows_api.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::wstring Trim(const std::wstring& text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

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
  if (server.find(L'=') == std::wstring::npos) return Trim(server);
  std::size_t at = 0;
  while (at <= server.size()) {
    std::size_t end = server.find(L';', at);
    if (end == std::wstring::npos) end = server.size();
    const std::wstring entry = server.substr(at, end - at);
    const std::size_t equals = entry.find(L'=');
    if (equals != std::wstring::npos && Trim(entry.substr(0, equals)) == scheme) return Trim(entry.substr(equals + 1));
    at = end + 1;
  }
  return std::wstring();
}

}  // namespace win
