// The install worker's machine-wide lock: a named mutex, waited for with an
// eye on the page's stop request.
#include "engine/install_worker_lock.h"

#include <string>

#include "engine/engine_texts.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "system/debug_log.h"

namespace {

constexpr const wchar_t* kMutexName = L"Global\\BVL_INSTALL_WORKER_MUTEX";
// How often a waiting worker looks whether its page asked it to stop.
constexpr win::DWORD kStopCheckInterval = 250;

bool Unguarded() {
  LogDebugLine(engine_texts::InstallLockFail(win::GetLastError()));
  return true;
}

}  // namespace

InstallWorkerLock::~InstallWorkerLock() {
  if (m_owned) win::ReleaseMutex(m_mutex);
  if (m_mutex) win::CloseHandle(m_mutex);
}

bool InstallWorkerLock::Acquire(const std::function<bool()>& stopRequested) {
  m_mutex = win::CreateMutexW(nullptr, win::FALSE, kMutexName);
  if (!m_mutex) return Unguarded();
  bool waiting = false;
  while (true) {
    const win::DWORD result = win::WaitForSingleObject(m_mutex, waiting ? kStopCheckInterval : 0);
    if (result == win::WAIT_OBJECT_0 || result == win::WAIT_ABANDONED) {
      m_owned = true;
      if (result == win::WAIT_ABANDONED) {
        LogDebugLine(engine_texts::kPreviousInstallationAbandoned);
      }
      return true;
    }
    if (result != win::WAIT_TIMEOUT) return Unguarded();
    if (!waiting) LogDebugLine(engine_texts::kWaitingForAnotherInstallation);
    waiting = true;
    if (stopRequested()) return false;
  }
}
