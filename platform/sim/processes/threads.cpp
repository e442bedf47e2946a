// Threads and semaphores over POSIX threads.
#include "platform/threads.h"

#include <pthread.h>
#include <semaphore.h>

#include <cerrno>
#include <ctime>

#include "platform/exception_dispatch.h"

namespace platform {

struct Thread::Host {
  pthread_t handle{};
  sem_t started;
};

struct Semaphore::Host {
  sem_t semaphore;
};

Thread::Thread() : host_(std::make_unique<Host>()) {}

std::unique_ptr<Thread> Thread::Start(std::size_t stackBytes, std::function<void()> body) {
  std::unique_ptr<Thread> thread(new Thread());
  thread->body_ = std::move(body);
  sem_init(&thread->host_->started, 0, 0);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes < static_cast<std::size_t>(PTHREAD_STACK_MIN) ? static_cast<std::size_t>(PTHREAD_STACK_MIN) : stackBytes);
  const int result = pthread_create(&thread->host_->handle, &attributes, &Thread::Run, thread.get());
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    sem_destroy(&thread->host_->started);
    thread->body_ = nullptr;
    thread.release();  // never started: nothing to join
    return nullptr;
  }
  while (sem_wait(&thread->host_->started) != 0 && errno == EINTR) {
  }
  return thread;
}

void* Thread::Run(void* raw) {
  auto* self = static_cast<Thread*>(raw);
  self->id_ = win::GetCurrentThreadId();
  sem_post(&self->host_->started);
  self->body_();
  return nullptr;
}

Thread::~Thread() {
  pthread_join(host_->handle, nullptr);
  sem_destroy(&host_->started);
}

win::DWORD Thread::Id() const { return id_; }

Semaphore::Semaphore() : host_(std::make_unique<Host>()) { sem_init(&host_->semaphore, 0, 0); }
Semaphore::~Semaphore() { sem_destroy(&host_->semaphore); }

void Semaphore::Post() { sem_post(&host_->semaphore); }

void Semaphore::Wait() {
  while (sem_wait(&host_->semaphore) != 0 && errno == EINTR) {
  }
}

bool Semaphore::WaitFor(long long milliseconds) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec += static_cast<long>((milliseconds % 1000) * 1000000);
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (true) {
    if (sem_clockwait(&host_->semaphore, CLOCK_MONOTONIC, &deadline) == 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace platform
