// Address admission and splitting, header copying and the time-out of the
// HTTP calls.
#include "settings/http_common.h"

#include <atomic>

#include "platform/codepage.h"
#include "settings/http_client.h"

namespace {

std::atomic<long long> g_timeoutSeconds{30};

}  // namespace

void SetHttpTimeoutForTesting(std::chrono::seconds timeout) { g_timeoutSeconds = timeout.count(); }

namespace http_common {

std::chrono::seconds Timeout() { return std::chrono::seconds(g_timeoutSeconds.load()); }

bool IsAdmittedUrl(const std::wstring& url) {
  std::string start;
  for (std::size_t i = 0; i < url.size() && i < 8; ++i) {
    wchar_t c = url[i];
    start += (c >= L'A' && c <= L'Z') ? static_cast<char>(c - L'A' + 'a')
                                      : (c < 0x80 ? static_cast<char>(c) : '?');
  }
  return start.compare(0, 7, "http://") == 0 || start.compare(0, 8, "https://") == 0;
}

bool HasControlCharacter(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  }
  return false;
}

UrlParts SplitUrl(const std::wstring& url) {
  if (HasControlCharacter(url)) throw web::uri_exception("the address holds a control character");
  web::uri full(platform::WideToUtf8(url));
  UrlParts parts;
  parts.base = full.authority();
  parts.resource = full.resource();
  const std::string& host = full.host();
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    parts.ipv6Literal = host.substr(1, host.size() - 2);
    parts.hostHeader = full.is_port_default() ? host : host + ":" + std::to_string(full.port());
    web::uri_builder bare(parts.base);
    bare.set_host(parts.ipv6Literal);
    parts.base = bare.to_uri();
  }
  return parts;
}

void AddHostHeader(const UrlParts& parts, web::http::http_request* request) {
  if (parts.hostHeader.empty() || request->headers().has(web::http::header_names::host)) return;
  request->headers().add(web::http::header_names::host, parts.hostHeader);
}

void CopyHeaders(const std::map<std::wstring, std::wstring>& headers, web::http::http_request* request) {
  for (const auto& [name, value] : headers) {
    request->headers().add(platform::WideToUtf8(name), platform::WideToUtf8(value));
  }
}

}  // namespace http_common
