// Address admission, splitting and redirect resolution, the time-out, and the
// texts of transport errors.
#include "settings/http_common.h"

#include <atomic>
#include <cstring>

#include "platform/winhttp.h"
#include "settings/http_client.h"

namespace {

std::atomic<long long> g_timeoutSeconds{30};

bool IsAsciiAlphanumeric(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

// RFC 3986: what a host name may hold (unreserved, escapes, sub-delimiters).
bool IsHostCharacter(wchar_t c) { return IsAsciiAlphanumeric(c) || (c != 0 && std::wcschr(L"-._~%!$&'()*+,;=", c)); }

// What a path and query may hold unescaped, "#" included as the fragment's start.
bool IsResourceCharacter(wchar_t c) { return IsHostCharacter(c) || (c != 0 && std::wcschr(L":@/?#", c)); }

std::wstring LowerAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

}  // namespace

void SetHttpTimeoutForTesting(std::chrono::seconds timeout) { g_timeoutSeconds = timeout.count(); }

namespace http_common {

std::chrono::seconds Timeout() { return std::chrono::seconds(g_timeoutSeconds.load()); }

bool IsAdmittedUrl(const std::wstring& url) {
  const std::wstring start = LowerAscii(url.substr(0, 8));
  return start.compare(0, 7, L"http://") == 0 || start.compare(0, 8, L"https://") == 0;
}

bool HasControlCharacter(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  }
  return false;
}

bool SplitUrl(const std::wstring& url, UrlParts* parts, std::string* error) {
  auto refuse = [error](const char* reason) {
    *error = reason;
    return false;
  };
  if (HasControlCharacter(url)) return refuse("the address holds a control character");
  if (!IsAdmittedUrl(url)) return refuse("the address is neither http:// nor https://");
  *parts = UrlParts{};
  parts->secure = LowerAscii(url.substr(0, 5)) == L"https";
  const std::size_t authorityStart = url.find(L"://") + 3;
  std::size_t resourceStart = url.find_first_of(L"/?#", authorityStart);
  if (resourceStart == std::wstring::npos) resourceStart = url.size();
  const std::wstring authority = url.substr(authorityStart, resourceStart - authorityStart);
  if (authority.find(L'@') != std::wstring::npos) return refuse("the address carries credentials");

  std::wstring port;
  if (!authority.empty() && authority.front() == L'[') {
    const std::size_t close = authority.find(L']');
    if (close == std::wstring::npos) return refuse("the address's IPv6 host has no closing bracket");
    parts->host = authority.substr(0, close + 1);
    for (std::size_t i = 1; i < close; ++i) {
      const wchar_t c = authority[i];
      if (!(IsAsciiAlphanumeric(c) || c == L':' || c == L'.')) return refuse("the address's IPv6 host is malformed");
    }
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != L':') return refuse("the address's host is malformed");
      port = authority.substr(close + 2);
    }
  } else {
    const std::size_t colon = authority.find(L':');
    parts->host = authority.substr(0, colon);
    if (colon != std::wstring::npos) port = authority.substr(colon + 1);
  }
  if (parts->host.empty() || parts->host == L"[]") return refuse("the address has no host");
  if (parts->host.front() != L'[') {
    for (wchar_t c : parts->host) {
      if (!IsHostCharacter(c)) return refuse("the address's host holds a character no host holds");
    }
  }
  parts->port = parts->secure ? win::INTERNET_DEFAULT_HTTPS_PORT : win::INTERNET_DEFAULT_HTTP_PORT;
  if (!port.empty()) {
    unsigned long value = 0;
    for (wchar_t c : port) {
      if (c < L'0' || c > L'9' || value > 65535) return refuse("the address's port is no port");
      value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (value == 0 || value > 65535) return refuse("the address's port is no port");
    parts->port = static_cast<std::uint16_t>(value);
  }

  std::wstring resource = url.substr(resourceStart);
  for (wchar_t c : resource) {
    if (!IsResourceCharacter(c)) return refuse("the address's path holds a character that must be escaped");
  }
  resource = resource.substr(0, resource.find(L'#'));
  if (resource.empty() || resource.front() != L'/') resource.insert(0, L"/");
  parts->resource = resource;
  return true;
}

std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location) {
  const std::size_t schemeEnd = base.find(L"://");
  if (IsAdmittedUrl(location) || location.find(L"://") != std::wstring::npos || schemeEnd == std::wstring::npos) {
    return location;
  }
  if (location.compare(0, 2, L"//") == 0) return base.substr(0, schemeEnd + 1) + location;
  std::size_t pathStart = base.find_first_of(L"/?#", schemeEnd + 3);
  if (pathStart == std::wstring::npos) pathStart = base.size();
  if (!location.empty() && location.front() == L'/') return base.substr(0, pathStart) + location;
  const std::wstring path = base.substr(pathStart, base.find_first_of(L"?#", pathStart) - pathStart);
  const std::size_t lastSlash = path.rfind(L'/');
  return base.substr(0, pathStart) + (lastSlash == std::wstring::npos ? L"/" : path.substr(0, lastSlash + 1)) +
         location;
}

std::string DescribeTransportError(win::DWORD error) {
  static const struct {
    win::DWORD code;
    const char* text;
  } kTexts[] = {
      {win::ERROR_WINHTTP_TIMEOUT, "the server did not answer in time"},
      {win::ERROR_WINHTTP_NAME_NOT_RESOLVED, "the server's name could not be resolved"},
      {win::ERROR_WINHTTP_CANNOT_CONNECT, "the server could not be reached"},
      {win::ERROR_WINHTTP_CONNECTION_ERROR, "the connection broke off"},
      {win::ERROR_WINHTTP_SECURE_FAILURE, "the secure connection failed or the server's certificate was refused"},
      {win::ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "the server's answer is not valid HTTP"},
      {win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW, "the answer's header block is larger than allowed"},
      {win::ERROR_WINHTTP_INVALID_URL, "the address is malformed"},
  };
  const char* text = "the transfer failed";
  for (const auto& known : kTexts) {
    if (known.code == error) text = known.text;
  }
  return std::string(text) + " (error " + std::to_string(error) + ")";
}

}  // namespace http_common
