// The lock that lets one install worker at a time run on a machine.
#pragma once

#include <functional>

#include "platform/win_types.h"

// One install worker at a time on a machine. Two installers started together
// would share the staging folder, and the rollback of the one that fails
// would stop and delete what the other had just installed. The lock is held
// from before the first step to the end of the ending; a worker that finds it
// held waits for the other run to end and then runs its own sequence over
// that installation. A killed owner leaves it abandoned, and the next worker
// takes it and installs over whatever that run left.
class InstallWorkerLock {
 public:
  InstallWorkerLock() = default;
  InstallWorkerLock(const InstallWorkerLock&) = delete;
  InstallWorkerLock& operator=(const InstallWorkerLock&) = delete;
  ~InstallWorkerLock();

  // Waits as long as another worker holds the lock. False when a stop was
  // requested first; true once it is held, and also when the lock itself
  // cannot be had (logged): an installation unguarded is better than none.
  bool Acquire(const std::function<bool()>& stopRequested);

 private:
  win::HANDLE m_mutex = nullptr;
  bool m_owned = false;
};
