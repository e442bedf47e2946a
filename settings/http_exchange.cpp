// The installer's requests over WinHTTP: handles, time-outs taken from one
// deadline, redirects followed by the installer's own rules, and the body
// read piece by piece as it arrives.
#include "settings/http_exchange.h"

#include <algorithm>
#include <vector>

#include "platform/codepage.h"
#include "settings/debug_text.h"
#include "settings/http_common.h"

namespace {

// The milliseconds left until `until`; at least 1, since 0 means "no
// time-out" to WinHTTP.
int MillisecondsUntil(HttpExchange::Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - HttpExchange::Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 1, 0x7FFFFFFF));
}

bool IsRedirect(std::uint16_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string Failure(const char* call) {
  return std::string(call) + ": " + http_common::DescribeTransportError(win::GetLastError());
}

bool IsSecure(const std::wstring& url) { return url.size() > 5 && (url[4] == L's' || url[4] == L'S'); }

}  // namespace

HttpExchange::~HttpExchange() { Close(); }

void HttpExchange::Close() {
  for (win::HINTERNET* handle : {&request_, &connection_, &session_}) {
    if (*handle) win::WinHttpCloseHandle(*handle);
    *handle = nullptr;
  }
}

bool HttpExchange::Send(const Request& request, const std::wstring& url, Clock::time_point until, bool* sent,
                        std::string* error) {
  Close();
  http_common::UrlParts parts;
  if (!http_common::SplitUrl(url, &parts, error)) return false;
  *sent = true;
  session_ = request.proxy.empty()
                 ? win::WinHttpOpen(nullptr, win::WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0)
                 : win::WinHttpOpen(nullptr, win::WINHTTP_ACCESS_TYPE_NAMED_PROXY, request.proxy.c_str(), nullptr, 0);
  if (!session_) {
    *error = Failure("WinHttpOpen");
    return false;
  }
  connection_ = win::WinHttpConnect(session_, parts.host.c_str(), parts.port, 0);
  if (!connection_) {
    *error = Failure("WinHttpConnect");
    return false;
  }
  request_ = win::WinHttpOpenRequest(connection_, request.method.c_str(), parts.resource.c_str(), nullptr, nullptr,
                                     nullptr, parts.secure ? win::WINHTTP_FLAG_SECURE : 0);
  if (!request_) {
    *error = Failure("WinHttpOpenRequest");
    return false;
  }
  const win::DWORD noRedirects = win::WINHTTP_DISABLE_REDIRECTS;
  bool configured = win::WinHttpSetOption(request_, win::WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects,
                                          sizeof noRedirects) != win::FALSE;
  if (!request.verifyCertificates) {
    const win::DWORD acceptAny = win::SECURITY_FLAG_IGNORE_UNKNOWN_CA | win::SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                 win::SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                 win::SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    configured = configured && win::WinHttpSetOption(request_, win::WINHTTP_OPTION_SECURITY_FLAGS, &acceptAny,
                                                     sizeof acceptAny) != win::FALSE;
  }
  const int left = MillisecondsUntil(until);
  const win::DWORD receiveLimit = static_cast<win::DWORD>(left);
  configured = configured && win::WinHttpSetTimeouts(request_, left, left, left, left) != win::FALSE &&
               win::WinHttpSetOption(request_, win::WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveLimit,
                                     sizeof receiveLimit) != win::FALSE;
  if (!configured) {
    *error = Failure("WinHttpSetOption");
    return false;
  }
  std::wstring headerLines;
  for (const auto& [name, value] : request.headers) headerLines += name + L": " + value + L"\r\n";
  if (!headerLines.empty() &&
      !win::WinHttpAddRequestHeaders(request_, headerLines.c_str(), static_cast<win::DWORD>(headerLines.size()),
                                     win::WINHTTP_ADDREQ_FLAG_ADD)) {
    *error = Failure("WinHttpAddRequestHeaders");
    return false;
  }
  const auto bodySize = static_cast<win::DWORD>(request.body.size());
  if (!win::WinHttpSendRequest(request_, nullptr, 0, request.body.empty() ? nullptr : request.body.data(), bodySize,
                               bodySize, 0)) {
    *error = Failure("WinHttpSendRequest");
    return false;
  }
  if (!win::WinHttpReceiveResponse(request_, nullptr)) {
    *error = Failure("WinHttpReceiveResponse");
    return false;
  }
  win::DWORD status = 0;
  win::DWORD size = sizeof status;
  if (!win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_STATUS_CODE | win::WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                                &status, &size, nullptr)) {
    *error = Failure("WinHttpQueryHeaders");
    return false;
  }
  status_ = static_cast<std::uint16_t>(status);
  return true;
}

bool HttpExchange::Open(const Request& request, const std::wstring& url, Clock::time_point until, bool* sent,
                        std::string* error) {
  *sent = false;
  status_ = 0;
  Request hop = request;
  std::wstring address = url;
  for (int redirects = 0;; ++redirects) {
    if (!Send(hop, address, until, sent, error)) {
      status_ = 0;
      return false;
    }
    const std::wstring location = Header(L"Location");
    if (!IsRedirect(status_) || location.empty()) return true;
    const std::wstring next = http_common::ResolveLocation(address, location);
    const char* refusal = nullptr;
    if (redirects == kMaxHttpRedirects) {
      refusal = "too many redirects";
    } else if (!http_common::IsAdmittedUrl(next)) {
      refusal = "a redirect to an address that is neither http:// nor https://";
    } else if (IsSecure(address) && !IsSecure(next)) {
      refusal = "a redirect from https:// down to http://";
    }
    if (refusal) {
      *error = std::string(refusal) + " (" + std::to_string(status_) + " to " +
               DebugValue(platform::WideToUtf8(next)) + ")";
      return false;
    }
    // As browsers do: a 303, and a 301 or 302 of anything but GET, turn
    // into a GET without a body; 307 and 308 repeat the request as it was.
    if (status_ == 303 || ((status_ == 301 || status_ == 302) && hop.method != L"GET")) {
      hop.method = L"GET";
      hop.body.clear();
    }
    address = next;
  }
}

std::wstring HttpExchange::Header(const wchar_t* name) const {
  if (!request_) return std::wstring();
  win::DWORD size = 0;
  win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_CUSTOM, name, nullptr, &size, nullptr);
  if (win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER || size < sizeof(wchar_t)) return std::wstring();
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
  if (!win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_CUSTOM, name, text.data(), &size, nullptr)) {
    return std::wstring();
  }
  return std::wstring(text.data(), size / sizeof(wchar_t));
}

bool HttpExchange::ContentLength(std::uint64_t* length) const {
  win::DWORD size = sizeof *length;
  return request_ && win::WinHttpQueryHeaders(request_,
                                              win::WINHTTP_QUERY_CONTENT_LENGTH | win::WINHTTP_QUERY_FLAG_NUMBER64,
                                              nullptr, length, &size, nullptr) != win::FALSE;
}

bool HttpExchange::Read(unsigned char* buffer, std::size_t capacity, Clock::time_point until, std::size_t* count,
                        bool* timedOut, std::string* error) {
  *count = 0;
  *timedOut = false;
  if (Clock::now() >= until) {
    *timedOut = true;
    *error = http_common::DescribeTransportError(win::ERROR_WINHTTP_TIMEOUT);
    return false;
  }
  const win::DWORD left = static_cast<win::DWORD>(MillisecondsUntil(until));
  win::DWORD available = 0;
  if (!win::WinHttpSetOption(request_, win::WINHTTP_OPTION_RECEIVE_TIMEOUT, &left, sizeof left) ||
      !win::WinHttpQueryDataAvailable(request_, &available)) {
    *timedOut = win::GetLastError() == win::ERROR_WINHTTP_TIMEOUT;
    *error = http_common::DescribeTransportError(win::GetLastError());
    return false;
  }
  if (available == 0) return true;
  win::DWORD read = 0;
  const auto wanted = static_cast<win::DWORD>(std::min<std::size_t>(available, capacity));
  if (!win::WinHttpReadData(request_, buffer, wanted, &read)) {
    *timedOut = win::GetLastError() == win::ERROR_WINHTTP_TIMEOUT;
    *error = http_common::DescribeTransportError(win::GetLastError());
    return false;
  }
  *count = read;
  return true;
}
