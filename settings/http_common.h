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

// Splits an address into the client's base (scheme, host, port) and the
// request's resource (path, query, fragment), so the query reaches the server
// exactly as written. Throws web::uri_exception for a malformed address.
// The resource stays a parsed uri: turned back into text, a path that starts
// with two slashes (a server address ending in "/") would be read again as an
// authority and lose its first segment.
void SplitUrl(const std::wstring& url, web::uri* base, web::uri* resource);

// Adds every entry of the map to the request's headers, in map order.
void CopyHeaders(const std::map<std::wstring, std::wstring>& headers, web::http::http_request* request);

}  // namespace http_common
