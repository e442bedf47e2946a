// Code pages through kernel32's conversions: the system's ANSI code page
// for CP_ACP and CP_THREAD_ACP, and every code page the system has tables
// for.
#include "platform/codepage.h"

#include "platform/windows/windows_api.h"

namespace win {

UINT GetACP() { return ::GetACP(); }

int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int wideLength, char* output, int outputSize,
                        const char* defaultChar, BOOL* usedDefault) {
  ::BOOL defaulted = FALSE;
  // UTF-8 takes neither a default character nor its report.
  const bool utf8 = codePage == CP_UTF8;
  const int result = ::WideCharToMultiByte(codePage, flags, wide, wideLength, output, outputSize,
                                           utf8 ? nullptr : defaultChar, utf8 || !usedDefault ? nullptr : &defaulted);
  if (usedDefault) *usedDefault = defaulted;
  return result;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteLength, wchar_t* output,
                        int outputSize) {
  return ::MultiByteToWideChar(codePage, flags, bytes, byteLength, output, outputSize);
}

}  // namespace win
