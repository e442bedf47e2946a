// What the installer's two HTTP calls share: the admission and splitting of
// addresses, the copying of header maps into requests, and the time-out.
#pragma once

#include <chrono>
#include <map>
#include <string>

#ifndef _TURN_OFF_PLATFORM_STRING
#define _TURN_OFF_PLATFORM_STRING
#endif
#include <cpprest/http_msg.h>

namespace http_common {

// The time-out of both calls: 30 seconds unless a test shortened it.
std::chrono::seconds Timeout();

// True for an address that may reach the network: it begins "http://" or
// "https://", the scheme compared ignoring ASCII case.
bool IsAdmittedUrl(const std::wstring& url);

// An address split the way the client takes it.
struct UrlParts {
  // Scheme, host and port. An IPv6 literal stands here without its
  // brackets: the library hands the host to the resolver as it is.
  web::uri base;
  // Path, query and fragment, exactly as written. It stays a parsed uri:
  // turned back into text, a path that starts with two slashes (a server
  // address ending in "/") would be read again as an authority and lose its
  // first segment.
  web::uri resource;
  // For an IPv6 literal, the address without brackets ("::1"); else empty.
  std::string ipv6Literal;
  // For an IPv6 literal, the Host header the request must carry
  // ("[::1]:8080"): the library would write the bare address.
  std::string hostHeader;
};

// True when the text holds a control character (U+0000 to U+001F, U+007F
// or U+0080 to U+009F): no address holds one, and passed on it would cut a
// request short at a NUL or end a header line early.
bool HasControlCharacter(const std::wstring& text);

// Splits an address. Throws web::uri_exception for a malformed address, one
// with a control character among them.
UrlParts SplitUrl(const std::wstring& url);

// Gives the request the Host header of `parts` when it needs one and the
// caller's headers hold none.
void AddHostHeader(const UrlParts& parts, web::http::http_request* request);

// Adds every entry of the map to the request's headers, in map order.
void CopyHeaders(const std::map<std::wstring, std::wstring>& headers, web::http::http_request* request);

}  // namespace http_common
