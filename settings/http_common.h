// What the installer's two HTTP calls share: the admission and splitting of
// addresses, redirect targets, the time-out, and readable texts for the
// transport's errors.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace http_common {

// The time-out of both calls: 30 seconds unless a test shortened it.
std::chrono::seconds Timeout();

// True for an address that may reach the network: it begins "http://" or
// "https://", the scheme compared ignoring ASCII case.
bool IsAdmittedUrl(const std::wstring& url);

// True when the text holds a control character (U+0000 to U+001F, U+007F
// or U+0080 to U+009F): no address holds one, and passed on it would cut a
// request short at a NUL or end a header line early.
bool HasControlCharacter(const std::wstring& text);

// An admitted address split the way a connection takes it.
struct UrlParts {
  bool secure = false;
  // The host as the connection names it: a name, an IPv4 address, or an
  // IPv6 address in its brackets ("[::1]").
  std::wstring host;
  std::uint16_t port = 0;
  // Path and query exactly as written ("/" when the address has no path);
  // a fragment is never sent.
  std::wstring resource;
};

// Splits an admitted address. False, with the reason in *error, for an
// address that is malformed: a control character, a host that is empty or
// holds characters no host holds, a port that is no port, credentials, or a
// path with characters an address cannot carry unescaped.
bool SplitUrl(const std::wstring& url, UrlParts* parts, std::string* error);

// The address a redirect's Location names, relative to `base`: absolute
// addresses as they are, "//host/..." with the base's scheme, "/path" on the
// base's host, and other paths beside the base's last segment.
std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location);

// A readable text for a WinHTTP error code, with the code.
std::string DescribeTransportError(win::DWORD error);

}  // namespace http_common
