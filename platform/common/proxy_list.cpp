#include "platform/common/proxy_list.h"

namespace platform {

namespace {

std::wstring Trim(const std::wstring& text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

}  // namespace

std::wstring ProxyForScheme(const std::wstring& server, const std::wstring& scheme) {
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

}  // namespace platform
