// The install worker's machine-wide lock: a named mutex, waited for with an
// eye on the page's stop request.
#include "engine/install_worker_lock.h"

#include <string>

#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/sync.h"

namespace {

constexpr const wchar_t* kMutexName = L"Global\\BVL_INSTALL_WORKER_MUTEX";
// How often a waiting worker looks whether its page asked it to stop.
constexpr win::DWORD kStopCheckInterval = 250;

bool Unguarded() {
  win::OutputDebugStringW(L"[Brimvale] BVLInstall : Install Lock Fail - " +
                          std::to_wstring(static_cast<int>(win::GetLastError())));
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
        win::OutputDebugStringW(L"[Brimvale] BVLInstall : Previous Installation Abandoned");
      }
      return true;
    }
    if (result != win::WAIT_TIMEOUT) return Unguarded();
    if (!waiting) win::OutputDebugStringW(L"[Brimvale] BVLInstall : Waiting For Another Installation");
    waiting = true;
    if (stopRequested()) return false;
  }
}
