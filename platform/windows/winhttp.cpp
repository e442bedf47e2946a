// WinHTTP on Windows: the system's winhttp.dll in the synchronous mode,
// loaded from the system folder (system_library.h). The calls are forwarded; what is converted is the width of the interface's
// DWORDs, IPv6 brackets in server names, and WINHTTP_QUERY_FLAG_NUMBER64,
// which is read as text here because winhttp.dll of Windows 7 lacks it.
// Options outside the interface's list are refused as the simulated machine
// refuses them, so that the product leans on none that only one side has.
//
// The system's own behaviour keeps the other rules of the interface: the
// default time-outs, the 64 KiB bound of the answer's head, redirects (not
// from https:// down to http://), TLS against the machine's trusted roots.
//
// Wine's winhttp.dll (8.0) differs from Windows': it accepts
// WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE but bounds no head (an endless
// header line ends quietly); a body that breaks off before its announced
// length, or a connection reset after the head, reads as a body that ended
// (the product's download compares the bytes with the announced length); a
// secure request trusts only roots that were in the machine's store when the
// process started, and matches the server's name only against the DNS names
// of its certificate; the error codes of Exchanged() below.
#include "platform/winhttp.h"

#include "platform/windows/windows_api.h"

#include <winhttp.h>

#include "platform/windows/system_library.h"

#include <cstring>
#include <string>

namespace win {
namespace {

using platform_windows::MissingFunction;
using platform_windows::SystemFunction;

constexpr wchar_t kWinHttp[] = L"winhttp.dll";

// winhttp.dll's query of an answer's head, found on first use, as each of
// its functions below (system_library.h).
BOOL QueryHeaders(::HINTERNET request, ::DWORD level, const wchar_t* name, void* buffer, ::DWORD* length,
                  ::DWORD* index) {
  static const auto query = SystemFunction<decltype(&::WinHttpQueryHeaders)>(kWinHttp, "WinHttpQueryHeaders");
  if (!query) return MissingFunction(FALSE);
  return query(request, level, name, buffer, length, index);
}

::HINTERNET Native(HINTERNET handle) { return static_cast<::HINTERNET>(handle); }
HINTERNET Wrapped(::HINTERNET handle) { return static_cast<HINTERNET>(handle); }

BOOL Fail(::DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

// A failed exchange's error as Windows' winhttp.dll gives it. Wine's gives
// the socket's time-out (WSAETIMEDOUT) for an answer that comes too late, and
// ERROR_WINHTTP_SECURE_CHANNEL_ERROR for a certificate it refuses, where
// Windows gives ERROR_WINHTTP_TIMEOUT and ERROR_WINHTTP_SECURE_FAILURE.
BOOL Exchanged(BOOL done) {
  if (done) return done;
  switch (::GetLastError()) {
    case WSAETIMEDOUT:
      return Fail(ERROR_WINHTTP_TIMEOUT);
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return Fail(ERROR_WINHTTP_SECURE_FAILURE);
    default:
      return done;
  }
}

bool IsListedOption(DWORD option) {
  switch (option) {
    case WINHTTP_OPTION_RESOLVE_TIMEOUT:
    case WINHTTP_OPTION_CONNECT_TIMEOUT:
    case WINHTTP_OPTION_SEND_TIMEOUT:
    case WINHTTP_OPTION_RECEIVE_TIMEOUT:
    case WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT:
    case WINHTTP_OPTION_SECURITY_FLAGS:
    case WINHTTP_OPTION_DISABLE_FEATURE:
    case WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS:
    case WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE:
      return true;
    default:
      return false;
  }
}

// A header's value as a 64-bit number, as WINHTTP_QUERY_FLAG_NUMBER64 gives it.
BOOL QueryNumber64(::HINTERNET request, ::DWORD level, const wchar_t* name, void* buffer, DWORD* bufferLength,
                   DWORD* index) {
  if (!buffer || *bufferLength < sizeof(std::uint64_t)) {
    *bufferLength = sizeof(std::uint64_t);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  wchar_t text[32];
  ::DWORD length = sizeof text;
  ::DWORD position = index ? *index : 0;
  if (!QueryHeaders(request, level, name, text, &length, index ? &position : nullptr)) return FALSE;
  if (index) *index = position;
  const std::size_t count = length / sizeof(wchar_t);
  if (count == 0 || count > 20) return Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - L'0');
    if (digit > 9 || value > (~std::uint64_t{0} - digit) / 10) return Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    value = value * 10 + digit;
  }
  std::memcpy(buffer, &value, sizeof value);
  *bufferLength = sizeof value;
  return TRUE;
}

}  // namespace

HINTERNET WinHttpOpen(const wchar_t* agent, DWORD accessType, const wchar_t* proxy, const wchar_t* proxyBypass,
                      DWORD flags) {
  if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && (proxy == nullptr || *proxy == L'\0')) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  static const auto open = SystemFunction<decltype(&::WinHttpOpen)>(kWinHttp, "WinHttpOpen");
  if (!open) return MissingFunction(HINTERNET{nullptr});
  return Wrapped(open(agent, accessType, proxy, proxyBypass, flags));
}

HINTERNET WinHttpConnect(HINTERNET session, const wchar_t* server, INTERNET_PORT port, DWORD reserved) {
  std::wstring host = server ? server : L"";
  if (host.size() > 2 && host.front() == L'[' && host.back() == L']') host = host.substr(1, host.size() - 2);
  static const auto connect = SystemFunction<decltype(&::WinHttpConnect)>(kWinHttp, "WinHttpConnect");
  if (!connect) return MissingFunction(HINTERNET{nullptr});
  return Wrapped(connect(Native(session), host.c_str(), port, reserved));
}

HINTERNET WinHttpOpenRequest(HINTERNET connect, const wchar_t* verb, const wchar_t* object, const wchar_t* version,
                             const wchar_t* referrer, const wchar_t* const* acceptTypes, DWORD flags) {
  static const auto open = SystemFunction<decltype(&::WinHttpOpenRequest)>(kWinHttp, "WinHttpOpenRequest");
  if (!open) return MissingFunction(HINTERNET{nullptr});
  return Wrapped(
      open(Native(connect), verb, object, version, referrer, const_cast<const wchar_t**>(acceptTypes), flags));
}

BOOL WinHttpCloseHandle(HINTERNET handle) {
  static const auto close = SystemFunction<decltype(&::WinHttpCloseHandle)>(kWinHttp, "WinHttpCloseHandle");
  if (!close) return MissingFunction(FALSE);
  return close(Native(handle));
}

BOOL WinHttpSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD length) {
  if (!IsListedOption(option)) return Fail(ERROR_WINHTTP_INVALID_OPTION);
  if (!buffer || length != sizeof(DWORD)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  ::DWORD value = 0;
  std::memcpy(&value, buffer, sizeof(DWORD));
  static const auto set = SystemFunction<decltype(&::WinHttpSetOption)>(kWinHttp, "WinHttpSetOption");
  if (!set) return MissingFunction(FALSE);
  return set(Native(handle), option, &value, sizeof value);
}

BOOL WinHttpSetTimeouts(HINTERNET handle, int resolveTimeout, int connectTimeout, int sendTimeout,
                        int receiveTimeout) {
  static const auto set = SystemFunction<decltype(&::WinHttpSetTimeouts)>(kWinHttp, "WinHttpSetTimeouts");
  if (!set) return MissingFunction(FALSE);
  return set(Native(handle), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);
}

BOOL WinHttpAddRequestHeaders(HINTERNET request, const wchar_t* headers, DWORD length, DWORD modifiers) {
  static const auto add =
      SystemFunction<decltype(&::WinHttpAddRequestHeaders)>(kWinHttp, "WinHttpAddRequestHeaders");
  if (!add) return MissingFunction(FALSE);
  return add(Native(request), headers, length, modifiers);
}

BOOL WinHttpSendRequest(HINTERNET request, const wchar_t* headers, DWORD headersLength, const void* optional,
                        DWORD optionalLength, DWORD totalLength, std::uintptr_t context) {
  static const auto send = SystemFunction<decltype(&::WinHttpSendRequest)>(kWinHttp, "WinHttpSendRequest");
  if (!send) return MissingFunction(FALSE);
  return Exchanged(send(Native(request), headers, headersLength, const_cast<void*>(optional), optionalLength,
                        totalLength, context));
}

BOOL WinHttpReceiveResponse(HINTERNET request, void* reserved) {
  static const auto receive =
      SystemFunction<decltype(&::WinHttpReceiveResponse)>(kWinHttp, "WinHttpReceiveResponse");
  if (!receive) return MissingFunction(FALSE);
  return Exchanged(receive(Native(request), reserved));
}

BOOL WinHttpQueryHeaders(HINTERNET request, DWORD infoLevel, const wchar_t* name, void* buffer, DWORD* bufferLength,
                         DWORD* index) {
  if (!bufferLength) return Fail(ERROR_INVALID_PARAMETER);
  if (infoLevel & WINHTTP_QUERY_FLAG_NUMBER64) {
    return QueryNumber64(Native(request), infoLevel & ~DWORD{WINHTTP_QUERY_FLAG_NUMBER64}, name, buffer, bufferLength,
                         index);
  }
  ::DWORD length = *bufferLength;
  ::DWORD position = index ? *index : 0;
  const BOOL done = QueryHeaders(Native(request), infoLevel, name, buffer, &length, index ? &position : nullptr);
  *bufferLength = length;
  if (index) *index = position;
  return done;
}

BOOL WinHttpQueryDataAvailable(HINTERNET request, DWORD* available) {
  ::DWORD count = 0;
  static const auto query =
      SystemFunction<decltype(&::WinHttpQueryDataAvailable)>(kWinHttp, "WinHttpQueryDataAvailable");
  if (!query) return MissingFunction(FALSE);
  const BOOL done = Exchanged(query(Native(request), &count));
  if (done && available) *available = count;
  return done;
}

BOOL WinHttpReadData(HINTERNET request, void* buffer, DWORD toRead, DWORD* read) {
  if (!read) return Fail(ERROR_INVALID_PARAMETER);
  ::DWORD count = 0;
  static const auto readData = SystemFunction<decltype(&::WinHttpReadData)>(kWinHttp, "WinHttpReadData");
  if (!readData) return MissingFunction(FALSE);
  const BOOL done = Exchanged(readData(Native(request), buffer, toRead, &count));
  *read = count;
  return done;
}

}  // namespace win
