// The user's locale through kernel32.
#include "platform/locale.h"

#include "platform/windows/windows_api.h"

namespace win {

int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* buffer, int size) {
  return ::GetLocaleInfoW(locale, type, buffer, size);
}

}  // namespace win
