// The installation token: the base64 text of the agent server's address that
// the installer's file name carries between square brackets.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Fixed key and initialisation vector of the stored ServiceInfo form.
inline const wchar_t* const kServiceInfoKey = L"tzkvmqrnwxpldjc!";
inline const wchar_t* const kServiceInfoIv = L"wqxnrtkzmvhplbgd";

// The text between the path's first "[" and the first "]" after it; empty
// when the path has no "[" or no "]", or the "]" stands only before the "[".
std::wstring ExtractToken(const std::wstring& modulePath);

// Converts the token to the thread's ANSI code page and base64-decodes it
// leniently into a zero-filled buffer as long as the text (so the decoded
// bytes are followed by NULs). Nothing when the converted text is empty.
std::optional<std::vector<unsigned char>> DecodeToken(const std::wstring& token);
