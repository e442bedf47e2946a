// The calling thread's last error, as the system keeps it.
#include "platform/win_types.h"
#include "platform/windows/windows_api.h"

namespace win {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

}  // namespace win
