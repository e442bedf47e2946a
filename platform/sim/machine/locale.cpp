// The user's locale from the machine profile.
#include "platform/locale.h"

#include "platform/sim/machine/machine.h"

namespace win {

int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* buffer, int size) {
  if (type != LOCALE_SISO639LANGNAME || locale != LOCALE_USER_DEFAULT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string& name = platform::Machine::Current().GetProfile().locale;
  int needed = static_cast<int>(name.size()) + 1;
  if (size == 0) return needed;
  if (!buffer || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (std::size_t i = 0; i < name.size(); ++i) buffer[i] = static_cast<unsigned char>(name[i]);
  buffer[name.size()] = L'\0';
  return needed;
}

}  // namespace win
