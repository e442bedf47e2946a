// The user's Internet settings as WinINet reads them for a session opened
// with the preconfigured access type: the proxy under HKEY_CURRENT_USER
// "Software\Microsoft\Windows\CurrentVersion\Internet Settings" (ProxyEnable,
// ProxyServer).
#pragma once

#include <string>

namespace win {

// The proxy ("host:port") that the calling thread's user has set for
// addresses of `scheme` ("http" or "https"); empty for a direct connection.
// ProxyServer is either one "host:port" for every scheme or a list of
// "scheme=host:port" entries separated by ";".
std::wstring InternetPreconfiguredProxy(const std::wstring& scheme);

}  // namespace win
