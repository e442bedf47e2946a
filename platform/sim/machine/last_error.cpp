// The thread's last error, as GetLastError reports it.
#include "platform/win_types.h"

namespace win {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

}  // namespace win
