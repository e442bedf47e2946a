// Code pages: the profile's ANSI code page for CP_ACP and CP_THREAD_ACP, UTF-8,
// converted for real through iconv.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace win {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

UINT GetACP();

// Wide/8-bit conversion with the platform's calling convention: with a null
// output (or zero size) the result is the length the conversion needs, in
// units of the output; otherwise the number of units written, 0 on failure
// (GetLastError tells why). Lengths of -1 mean "up to and including the NUL".
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int wideLength,
                        char* output, int outputSize, const char* defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteLength,
                        wchar_t* output, int outputSize);

}  // namespace win

namespace platform {

// Whole-string conversions for code that has no use for the buffer protocol.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// UTF-16LE bytes of a wide string (what a REG_SZ holds), and back.
std::string WideToUtf16Le(const std::wstring& text);
std::wstring Utf16LeToWide(const std::string& bytes);

}  // namespace platform
