// WinHTTP, by the Windows names: sessions, connections and requests in the
// synchronous mode, as the installer and its crash reporter use them. On
// Windows they are the system's winhttp.dll. The simulated machine carries the requests over real sockets of the host (TLS
// through OpenSSL against the system's roots and the machine's trusted
// roots), with WinHTTP's defaults: time-outs, a bounded answer head, chunked
// bodies decoded, redirects followed unless the request disables them.
//
// What the simulation leaves out: the asynchronous mode and its callbacks,
// authentication, proxy lists and automatic proxy discovery (a named proxy
// is one "host:port"), keep-alive connections (every request has its own),
// and closing a handle while another thread waits in a call on it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace win {

struct InternetObject;
using HINTERNET = InternetObject*;
using INTERNET_PORT = WORD;

constexpr DWORD WINHTTP_ACCESS_TYPE_DEFAULT_PROXY = 0;
constexpr DWORD WINHTTP_ACCESS_TYPE_NO_PROXY = 1;
constexpr DWORD WINHTTP_ACCESS_TYPE_NAMED_PROXY = 3;

constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// WinHttpOpenRequest flags.
constexpr DWORD WINHTTP_FLAG_SECURE = 0x00800000;

// Options (WinHttpSetOption); time-outs in milliseconds, 0 waits forever.
constexpr DWORD WINHTTP_OPTION_RESOLVE_TIMEOUT = 2;
constexpr DWORD WINHTTP_OPTION_CONNECT_TIMEOUT = 3;
constexpr DWORD WINHTTP_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD WINHTTP_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT = 7;
constexpr DWORD WINHTTP_OPTION_SECURITY_FLAGS = 31;
constexpr DWORD WINHTTP_OPTION_DISABLE_FEATURE = 63;
constexpr DWORD WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS = 89;
constexpr DWORD WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE = 91;

constexpr DWORD WINHTTP_DISABLE_REDIRECTS = 0x00000002;

// WINHTTP_OPTION_SECURITY_FLAGS: which certificate errors a request accepts.
constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
constexpr DWORD SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE = 0x00000200;
constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;

// WinHttpQueryHeaders information levels and modifiers.
constexpr DWORD WINHTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD WINHTTP_QUERY_DATE = 9;
constexpr DWORD WINHTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD WINHTTP_QUERY_RAW_HEADERS_CRLF = 22;
constexpr DWORD WINHTTP_QUERY_CONTENT_ENCODING = 29;
constexpr DWORD WINHTTP_QUERY_LOCATION = 33;
constexpr DWORD WINHTTP_QUERY_CUSTOM = 65535;
constexpr DWORD WINHTTP_QUERY_FLAG_NUMBER = 0x20000000;
constexpr DWORD WINHTTP_QUERY_FLAG_NUMBER64 = 0x08000000;

// WinHttpAddRequestHeaders modifiers.
constexpr DWORD WINHTTP_ADDREQ_FLAG_ADD = 0x20000000;

// GetLastError after a failed call.
constexpr DWORD ERROR_WINHTTP_TIMEOUT = 12002;
constexpr DWORD ERROR_WINHTTP_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_WINHTTP_INVALID_URL = 12005;
constexpr DWORD ERROR_WINHTTP_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_WINHTTP_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_WINHTTP_INVALID_OPTION = 12009;
constexpr DWORD ERROR_WINHTTP_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_WINHTTP_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_WINHTTP_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_WINHTTP_CONNECTION_ERROR = 12030;
constexpr DWORD ERROR_WINHTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_WINHTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_WINHTTP_REDIRECT_FAILED = 12156;
constexpr DWORD ERROR_WINHTTP_SECURE_FAILURE = 12175;
constexpr DWORD ERROR_WINHTTP_HEADER_SIZE_OVERFLOW = 12183;

// `agent` (may be null) is sent as the User-Agent of requests that add none;
// with WINHTTP_ACCESS_TYPE_NAMED_PROXY, `proxy` names the proxy as
// "host:port": plain requests go to it with their whole address, secure ones
// through a CONNECT tunnel. Null with ERROR_INVALID_PARAMETER for a named
// proxy that is missing or not of that form.
HINTERNET WinHttpOpen(const wchar_t* agent, DWORD accessType, const wchar_t* proxy, const wchar_t* proxyBypass,
                      DWORD flags);
// Nothing is sent yet; `server` is a host name or an address (an IPv6
// address with or without its brackets).
HINTERNET WinHttpConnect(HINTERNET session, const wchar_t* server, INTERNET_PORT port, DWORD reserved);
// `object` is the path and query exactly as written; `version`, `referrer`
// and `acceptTypes` may be null (HTTP/1.1, none).
HINTERNET WinHttpOpenRequest(HINTERNET connect, const wchar_t* verb, const wchar_t* object, const wchar_t* version,
                             const wchar_t* referrer, const wchar_t* const* acceptTypes, DWORD flags);
BOOL WinHttpCloseHandle(HINTERNET handle);

// Options of the list above; DWORD values. ERROR_WINHTTP_INVALID_OPTION for
// any other option, ERROR_INSUFFICIENT_BUFFER for a buffer of another size.
BOOL WinHttpSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD length);
// On a session: the time-outs of its later requests; on a request: its own.
BOOL WinHttpSetTimeouts(HINTERNET handle, int resolveTimeout, int connectTimeout, int sendTimeout,
                        int receiveTimeout);

// `headers` holds "Name: value" lines separated by CRLF; length -1 reads to
// the terminating NUL. Only adding is modelled.
BOOL WinHttpAddRequestHeaders(HINTERNET request, const wchar_t* headers, DWORD length, DWORD modifiers);
// Connects (through the proxy, with TLS for a secure request) and sends the
// request with `optional` as its body. Failures: ERROR_WINHTTP_NAME_NOT_RESOLVED,
// _CANNOT_CONNECT, _SECURE_FAILURE (a certificate refused or a failed
// handshake), _CONNECTION_ERROR, _TIMEOUT.
BOOL WinHttpSendRequest(HINTERNET request, const wchar_t* headers, DWORD headersLength, const void* optional,
                        DWORD optionalLength, DWORD totalLength, std::uintptr_t context);
// Reads the answer's head, at most WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE
// bytes (64 KiB unless set): beyond it ERROR_WINHTTP_HEADER_SIZE_OVERFLOW; a
// head that is no HTTP answer gives ERROR_WINHTTP_INVALID_SERVER_RESPONSE.
BOOL WinHttpReceiveResponse(HINTERNET request, void* reserved);
// Text levels fill `buffer` with a wide text and its NUL, *bufferLength in
// bytes (without the NUL on success; the size needed with
// ERROR_INSUFFICIENT_BUFFER); WINHTTP_QUERY_FLAG_NUMBER gives a DWORD,
// WINHTTP_QUERY_FLAG_NUMBER64 a 64-bit value. `index` (may be null) picks
// among repeated headers. ERROR_WINHTTP_HEADER_NOT_FOUND when absent.
BOOL WinHttpQueryHeaders(HINTERNET request, DWORD infoLevel, const wchar_t* name, void* buffer,
                         DWORD* bufferLength, DWORD* index);
// Waits (the receive time-out at most) until body bytes are there to read;
// *available is 0 once the body has ended.
BOOL WinHttpQueryDataAvailable(HINTERNET request, DWORD* available);
// Reads body bytes, waiting as WinHttpQueryDataAvailable does; *read is 0
// once the body has ended. A body that breaks off before its announced end
// fails with ERROR_WINHTTP_CONNECTION_ERROR.
BOOL WinHttpReadData(HINTERNET request, void* buffer, DWORD toRead, DWORD* read);

}  // namespace win
