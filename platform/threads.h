// Threads with a stack size of the caller's choice (CreateThread's stack
// size argument) and a semaphore that a fault's dispatch may post and wait
// on, for the crash reporter's handler thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/win_types.h"

namespace platform {

class Thread {
 public:
  // Starts `body` on a new thread with a stack of `stackBytes`; null when the
  // thread cannot be created.
  static std::unique_ptr<Thread> Start(std::size_t stackBytes, std::function<void()> body);
  // Waits for the thread to end (the body must be made to return first).
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // The thread's id as GetCurrentThreadId reports it on that thread.
  win::DWORD Id() const;

 private:
  struct Host;  // the host thread behind it
  Thread();
  static void* Run(void* self);
  std::unique_ptr<Host> host_;
  std::function<void()> body_;
  win::DWORD id_ = 0;
};

class Semaphore {
 public:
  Semaphore();
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Safe inside a signal handler.
  void Post();
  void Wait();
  // False when `milliseconds` passed first.
  bool WaitFor(long long milliseconds);

 private:
  struct Host;  // the host semaphore behind it
  std::unique_ptr<Host> host_;
};

}  // namespace platform
