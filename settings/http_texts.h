// Fixed texts of the installer's HTTP requests: header names and values the
// Brimvale servers expect, byte for byte.
#pragma once

namespace http_texts {

constexpr const wchar_t* kUserAgentName = L"User-Agent";
constexpr const wchar_t* kUserAgent = L"KORVANTA NETWORK LIBRARY";
constexpr const wchar_t* kContentTypeName = L"Content-Type";
constexpr const wchar_t* kAcceptName = L"Accept";
constexpr const wchar_t* kJsonType = L"application/json";
constexpr const wchar_t* kAcceptEncodingName = L"Accept-Encoding";
constexpr const wchar_t* kGzip = L"gzip";
constexpr const wchar_t* kAcceptLanguageName = L"Accept-Language";
// Sent when the user's locale has no ISO 639 name.
constexpr const wchar_t* kFallbackLanguage = L"en";

}  // namespace http_texts
