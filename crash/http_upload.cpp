// The multipart upload over WinHTTP, through the user's proxy, with one
// deadline for the whole upload and a small bound on what is read of the
// collector's answer.
#include "crash/http_upload.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "crash/multipart_body.h"
#include "platform/codepage.h"
#include "platform/internet_settings.h"
#include "platform/winhttp.h"

namespace kvdump {
namespace {

const wchar_t kUserAgent[] = L"Breakpad/1.0 (Windows)";
using Clock = std::chrono::steady_clock;

// The milliseconds left until `until`, at least 1 (0 means "no time-out").
int MillisecondsUntil(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 1, 0x7FFFFFFF));
}

// The address's parts as WinHTTP takes them.
struct Target {
  bool secure = false;
  std::wstring host;
  win::INTERNET_PORT port = 0;
  std::wstring object;
};

bool SplitAddress(const std::wstring& url, Target* target) {
  const std::size_t schemeEnd = url.find(L"://");
  if (schemeEnd == std::wstring::npos) return false;
  const std::wstring scheme = url.substr(0, schemeEnd);
  if (scheme != L"http" && scheme != L"https") return false;
  target->secure = scheme == L"https";
  const std::size_t pathStart = url.find_first_of(L"/?", schemeEnd + 3);
  const std::wstring authority = url.substr(schemeEnd + 3, pathStart - (schemeEnd + 3));
  target->object = pathStart == std::wstring::npos ? L"/" : url.substr(pathStart);
  const std::size_t colon = authority.rfind(L':');
  const bool hasPort = colon != std::wstring::npos && authority.find(L']', colon) == std::wstring::npos;
  target->host = hasPort ? authority.substr(0, colon) : authority;
  target->port = target->secure ? win::INTERNET_DEFAULT_HTTPS_PORT : win::INTERNET_DEFAULT_HTTP_PORT;
  if (hasPort) {
    const std::wstring digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) return false;
    const unsigned long port = std::stoul(digits);
    if (port == 0 || port > 65535) return false;
    target->port = static_cast<win::INTERNET_PORT>(port);
  }
  return !target->host.empty();
}

// Closes the handles of one upload however it ends.
struct Handles {
  win::HINTERNET session = nullptr;
  win::HINTERNET connection = nullptr;
  win::HINTERNET request = nullptr;
  ~Handles() {
    for (win::HINTERNET handle : {request, connection, session}) {
      if (handle) win::WinHttpCloseHandle(handle);
    }
  }
};

std::string Failure(const char* call) { return std::string(call) + " failed, error " + std::to_string(win::GetLastError()); }

// Reads at most `limit` bytes of the answer by `until`; what the collector
// says beyond them does not change the outcome.
void ReadAnswer(win::HINTERNET request, Clock::time_point until, std::size_t limit, std::string* answer) {
  std::vector<char> piece(4096);
  while (answer->size() < limit && Clock::now() < until) {
    const win::DWORD left = static_cast<win::DWORD>(MillisecondsUntil(until));
    win::DWORD available = 0;
    if (!win::WinHttpSetOption(request, win::WINHTTP_OPTION_RECEIVE_TIMEOUT, &left, sizeof left) ||
        !win::WinHttpQueryDataAvailable(request, &available) || available == 0) {
      return;
    }
    const std::size_t wanted = std::min({static_cast<std::size_t>(available), piece.size(), limit - answer->size()});
    win::DWORD read = 0;
    if (!win::WinHttpReadData(request, piece.data(), static_cast<win::DWORD>(wanted), &read) || read == 0) return;
    answer->append(piece.data(), read);
  }
}

}  // namespace

UploadResult SendMultipartPostRequest(const std::wstring& url, const std::map<std::wstring, std::wstring>& fields,
                                      const std::map<std::wstring, std::wstring>& files,
                                      std::chrono::seconds timeout) {
  const Clock::time_point until = Clock::now() + timeout;
  UploadResult result;
  const std::string boundary = RandomMultipartBoundary();
  std::string body;
  if (!BuildMultipartBody(boundary, fields, files, &body, &result.error)) return result;
  Target target;
  if (!SplitAddress(url, &target)) {
    result.error = "the collector's address is malformed: " + platform::WideToUtf8(url);
    return result;
  }

  Handles handles;
  const std::wstring proxy = win::InternetPreconfiguredProxy(target.secure ? L"https" : L"http");
  handles.session = proxy.empty()
                        ? win::WinHttpOpen(kUserAgent, win::WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0)
                        : win::WinHttpOpen(kUserAgent, win::WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(), nullptr, 0);
  if (!handles.session) {
    result.error = Failure("WinHttpOpen");
    return result;
  }
  handles.connection = win::WinHttpConnect(handles.session, target.host.c_str(), target.port, 0);
  if (handles.connection) {
    handles.request = win::WinHttpOpenRequest(handles.connection, L"POST", target.object.c_str(), nullptr, nullptr,
                                              nullptr, target.secure ? win::WINHTTP_FLAG_SECURE : 0);
  }
  if (!handles.request) {
    result.error = Failure("WinHttpOpenRequest");
    return result;
  }
  // Every step of the upload waits only as long as the whole upload may still take.
  const int left = MillisecondsUntil(until);
  const win::DWORD answerLimit = static_cast<win::DWORD>(left);
  const std::wstring contentType = L"Content-Type: multipart/form-data; boundary=" + platform::Utf8ToWide(boundary);
  if (!win::WinHttpSetTimeouts(handles.request, left, left, left, left) ||
      !win::WinHttpSetOption(handles.request, win::WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answerLimit,
                             sizeof answerLimit) ||
      !win::WinHttpAddRequestHeaders(handles.request, contentType.c_str(), static_cast<win::DWORD>(contentType.size()),
                                     win::WINHTTP_ADDREQ_FLAG_ADD)) {
    result.error = Failure("WinHttpSetOption");
    return result;
  }
  const auto size = static_cast<win::DWORD>(body.size());
  if (!win::WinHttpSendRequest(handles.request, nullptr, 0, body.data(), size, size, 0)) {
    result.error = Failure("WinHttpSendRequest");
    return result;
  }
  if (!win::WinHttpReceiveResponse(handles.request, nullptr)) {
    result.error = Failure("WinHttpReceiveResponse");
    return result;
  }
  win::DWORD status = 0;
  win::DWORD statusSize = sizeof status;
  if (!win::WinHttpQueryHeaders(handles.request, win::WINHTTP_QUERY_STATUS_CODE | win::WINHTTP_QUERY_FLAG_NUMBER,
                                nullptr, &status, &statusSize, nullptr)) {
    result.error = Failure("WinHttpQueryHeaders");
    return result;
  }
  result.status = static_cast<int>(status);
  ReadAnswer(handles.request, until, kMaxUploadAnswerBytes, &result.response);
  return result;
}

}  // namespace kvdump
