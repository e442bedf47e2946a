// The table of live kernel handles and CloseHandle.
#include "platform/sim/machine/kernel_object.h"

#include <mutex>
#include <set>

namespace platform {

namespace {
std::mutex g_mutex;
std::set<win::HANDLE>& Live() {
  static std::set<win::HANDLE> handles;
  return handles;
}
}  // namespace

win::HANDLE RegisterHandle(win::KernelObject* object) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Live().insert(object);
  return object;
}

win::KernelObject* LookupHandle(win::HANDLE handle) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return Live().count(handle) ? handle : nullptr;
}

}  // namespace platform

namespace win {

BOOL CloseHandle(HANDLE handle) {
  KernelObject* object = nullptr;
  {
    std::lock_guard<std::mutex> guard(platform::g_mutex);
    if (platform::Live().erase(handle)) object = handle;
  }
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete object;
  return TRUE;
}

}  // namespace win
