// Threads and semaphores on the system's calls: CreateThread with the stack
// size as the stack's whole reservation, and a counting semaphore object.
#include "platform/threads.h"

#include <climits>

#include "platform/windows/windows_api.h"

namespace platform {

struct Thread::Host {
  ::HANDLE handle = nullptr;

  // The system calls a thread's entry with its own calling convention.
  static ::DWORD WINAPI Entry(void* self) {
    Thread::Run(self);
    return 0;
  }
};

struct Semaphore::Host {
  ::HANDLE semaphore = nullptr;
};

Thread::Thread() : host_(std::make_unique<Host>()) {}

std::unique_ptr<Thread> Thread::Start(std::size_t stackBytes, std::function<void()> body) {
  std::unique_ptr<Thread> thread(new Thread());
  thread->body_ = std::move(body);
  // As a reservation the size is the stack's whole size (rounded up to the
  // allocation granularity); otherwise it would only be the first commit of
  // a stack of the program's default size.
  ::DWORD id = 0;
  thread->host_->handle = ::CreateThread(nullptr, stackBytes, &Host::Entry, thread.get(),
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (!thread->host_->handle) return nullptr;
  thread->id_ = id;
  return thread;
}

void* Thread::Run(void* self) {
  static_cast<Thread*>(self)->body_();
  return nullptr;
}

Thread::~Thread() {
  if (!host_->handle) return;  // never started
  ::WaitForSingleObject(host_->handle, INFINITE);
  ::CloseHandle(host_->handle);
}

win::DWORD Thread::Id() const { return id_; }

Semaphore::Semaphore() : host_(std::make_unique<Host>()) {
  host_->semaphore = ::CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
}

Semaphore::~Semaphore() {
  if (host_->semaphore) ::CloseHandle(host_->semaphore);
}

// ReleaseSemaphore takes no lock of this process: safe in an exception filter.
void Semaphore::Post() { ::ReleaseSemaphore(host_->semaphore, 1, nullptr); }

void Semaphore::Wait() { ::WaitForSingleObject(host_->semaphore, INFINITE); }

bool Semaphore::WaitFor(long long milliseconds) {
  // INFINITE is no time-out: longer waits are cut just below it.
  const ::DWORD timeout = milliseconds <= 0                   ? 0
                          : milliseconds >= static_cast<long long>(INFINITE) ? INFINITE - 1
                                                                : static_cast<::DWORD>(milliseconds);
  return ::WaitForSingleObject(host_->semaphore, timeout) == WAIT_OBJECT_0;
}

}  // namespace platform
