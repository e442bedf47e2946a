// Fault stacks for every thread: the process's thread creation is wrapped so
// that a new thread installs its alternate signal stack before it runs.
#include "platform/sim/machine/fault_stacks.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

constexpr std::size_t kFaultStackBytes = 64 * 1024;

std::atomic<bool> g_enabled{false};

// The calling thread's fault stack, released when the thread ends. A thread
// that already has an alternate stack (one a sanitizer runtime gave it)
// keeps that one.
struct ThreadFaultStack {
  void* memory = nullptr;
  std::size_t bytes = 0;

  void Install() {
    if (memory != nullptr) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    // A guard page below the stack turns an overflow of the dispatch itself
    // into a plain fault instead of a write into foreign memory.
    void* block = mmap(nullptr, kFaultStackBytes + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return;
    mprotect(block, page, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(block) + page;
    stack.ss_size = kFaultStackBytes;
    if (sigaltstack(&stack, nullptr) != 0) {
      munmap(block, kFaultStackBytes + page);
      return;
    }
    memory = block;
    bytes = kFaultStackBytes + page;
  }

  ~ThreadFaultStack() {
    if (memory == nullptr) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(memory, bytes);
  }
};

thread_local ThreadFaultStack t_faultStack;

struct StartRequest {
  void* (*routine)(void*);
  void* argument;
};

void* StartWithFaultStack(void* raw) {
  StartRequest request = *static_cast<StartRequest*>(raw);
  std::free(raw);
  t_faultStack.Install();
  return request.routine(request.argument);
}

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

CreateFunction NextCreate() {
  static CreateFunction next = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
  return next;
}

}  // namespace

void EnableFaultStacks() {
  t_faultStack.Install();
  g_enabled = true;
}

}  // namespace platform

// Every thread of the program is created here first (the program's own
// definition comes before the C library's).
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*),
                              void* argument) {
  platform::CreateFunction next = platform::NextCreate();
  if (next == nullptr) return EAGAIN;
  if (!platform::g_enabled) return next(thread, attributes, routine, argument);
  auto* request = static_cast<platform::StartRequest*>(std::malloc(sizeof(platform::StartRequest)));
  if (request == nullptr) return EAGAIN;
  request->routine = routine;
  request->argument = argument;
  int result = next(thread, attributes, platform::StartWithFaultStack, request);
  if (result != 0) std::free(request);
  return result;
}
