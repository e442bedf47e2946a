// The user's locale as the profile sets it.
#pragma once

#include "platform/win_types.h"

namespace win {

using LCID = DWORD;
using LCTYPE = DWORD;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCTYPE LOCALE_SISO639LANGNAME = 0x59;

// Copies the locale item into `buffer` (NUL-terminated); returns the count of
// characters written including the NUL, 0 when the buffer is too small or the
// item is unknown.
int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* buffer, int size);

}  // namespace win
