// Fatal signals, std::terminate and pure virtual calls turned into Windows
// exception records for the unhandled-exception filter.
#include "platform/exception_dispatch.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>

#include "platform/common/crash_ways.h"
#include "platform/sim/machine/fault_stacks.h"
#include "platform/sim/processes/thread_context.h"

namespace win {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr std::size_t kSignalCount = sizeof(kFatalSignals) / sizeof(kFatalSignals[0]);
// How far below the stack pointer a faulting access still counts as the
// stack growing into its guard area rather than a stray pointer.
constexpr std::uint64_t kStackOverflowReach = 64 * 1024;
// The magic number of the C++ runtime's exception records.
constexpr ULONG_PTR kCppExceptionMagic = 0x19930520;

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_filter{nullptr};
std::atomic<_purecall_handler> g_purecallHandler{nullptr};
std::atomic<_invalid_parameter_handler> g_invalidParameterHandler{nullptr};

// What was in place before the filter took the signals and std::terminate.
std::mutex g_routeMutex;
bool g_routed = false;
struct sigaction g_previousActions[kSignalCount];
std::terminate_handler g_previousTerminate = nullptr;

// Set while the thread runs the dispatch: a fault inside it ends the
// process at once instead of entering the filter again.
thread_local volatile sig_atomic_t t_dispatching = 0;

// Ends the process by `signal` with its default action, without a core file
// (a Windows process leaves none).
[[noreturn]] void DieBy(int signal) {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signal);
  _exit(128 + signal);
}

void Dispatch(EXCEPTION_RECORD* record, CONTEXT* context) {
  LPTOP_LEVEL_EXCEPTION_FILTER filter = g_filter.load();
  if (filter == nullptr) return;
  EXCEPTION_POINTERS pointers{record, context};
  filter(&pointers);
}

void FillAccessViolation(const siginfo_t* info, const ucontext_t* uc, EXCEPTION_RECORD* record) {
  const auto address = reinterpret_cast<std::uint64_t>(info->si_addr);
  const std::uint64_t sp = platform::StackPointerOf(uc);
  // Page-fault error code: bit 1 a write, bit 4 an instruction fetch.
  const auto error = static_cast<unsigned long long>(uc->uc_mcontext.gregs[REG_ERR]);
  const ULONG_PTR kind = (error & 0x10) ? 8 : (error & 0x2) ? 1 : 0;
  const bool nearStack = address < sp + 256 && address + kStackOverflowReach > sp;
  record->ExceptionCode = nearStack ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
  record->NumberParameters = 2;
  record->ExceptionInformation[0] = kind;
  record->ExceptionInformation[1] = address;
}

void FillRecord(int signal, const siginfo_t* info, const ucontext_t* uc, EXCEPTION_RECORD* record) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      FillAccessViolation(info, uc, record);
      break;
    case SIGILL:
      record->ExceptionCode = EXCEPTION_ILLEGAL_INSTRUCTION;
      break;
    case SIGFPE:
      record->ExceptionCode = info->si_code == FPE_INTDIV   ? EXCEPTION_INT_DIVIDE_BY_ZERO
                              : info->si_code == FPE_INTOVF ? EXCEPTION_INT_OVERFLOW
                                                            : EXCEPTION_FLT_DIVIDE_BY_ZERO;
      break;
    case SIGTRAP:
      record->ExceptionCode = EXCEPTION_BREAKPOINT;
      break;
    default:  // SIGABRT: abort() and the runtime's fatal reports
      record->ExceptionCode = STATUS_FATAL_APP_EXIT;
      record->ExceptionFlags = EXCEPTION_NONCONTINUABLE;
      break;
  }
}

void OnFatalSignal(int signal, siginfo_t* info, void* raw) {
  if (t_dispatching) DieBy(signal);
  t_dispatching = 1;
  const auto* uc = static_cast<const ucontext_t*>(raw);
  EXCEPTION_RECORD record;
  CONTEXT context;
  platform::ContextFromSignal(uc, &context);
  FillRecord(signal, info, uc, &record);
  record.ExceptionAddress = context.Rip;
  Dispatch(&record, &context);
  DieBy(signal);
}

void OnTerminate() {
  if (std::current_exception()) {
    const ULONG_PTR arguments[4] = {kCppExceptionMagic, 0, 0, 0};
    RaiseException(EXCEPTION_CPP, EXCEPTION_NONCONTINUABLE, 4, arguments);
  }
  RaiseException(STATUS_FATAL_APP_EXIT, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void Route() {
  if (g_routed) return;
  platform::EnableFaultStacks();
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(kFatalSignals[i], &action, &g_previousActions[i]);
  }
  g_previousTerminate = std::set_terminate(OnTerminate);
  g_routed = true;
}

void Unroute() {
  if (!g_routed) return;
  for (std::size_t i = 0; i < kSignalCount; ++i) sigaction(kFatalSignals[i], &g_previousActions[i], nullptr);
  std::set_terminate(g_previousTerminate);
  g_routed = false;
}

}  // namespace

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  std::lock_guard<std::mutex> guard(g_routeMutex);
  LPTOP_LEVEL_EXCEPTION_FILTER previous = g_filter.exchange(filter);
  if (filter != nullptr) {
    Route();
  } else {
    Unroute();
  }
  return previous;
}

_purecall_handler _set_purecall_handler(_purecall_handler handler) { return g_purecallHandler.exchange(handler); }

_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler) {
  return g_invalidParameterHandler.exchange(handler);
}

void RtlCaptureContext(CONTEXT* context) {
  ucontext_t uc;
  getcontext(&uc);
  platform::ContextFromSignal(&uc, context);
}

void RaiseException(DWORD code, DWORD flags, DWORD numberOfArguments, const ULONG_PTR* arguments) {
  if (!t_dispatching) {
    t_dispatching = 1;
    EXCEPTION_RECORD record;
    CONTEXT context;
    RtlCaptureContext(&context);
    record.ExceptionCode = code;
    record.ExceptionFlags = flags | EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = context.Rip;
    record.NumberParameters = numberOfArguments < EXCEPTION_MAXIMUM_PARAMETERS ? numberOfArguments
                                                                               : EXCEPTION_MAXIMUM_PARAMETERS;
    for (DWORD i = 0; i < record.NumberParameters; ++i) record.ExceptionInformation[i] = arguments[i];
    Dispatch(&record, &context);
  }
  DieBy(SIGABRT);
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

}  // namespace win

// The C++ runtime calls this for a pure virtual call; the program's own
// definition comes before the runtime's, as _purecall does on Windows.
extern "C" void __cxa_pure_virtual() {
  win::_purecall_handler handler = win::g_purecallHandler.load();
  if (handler != nullptr) {
    handler();
    // A handler should not return; if it does, the call still ends the process.
    abort();
  }
  static const char message[] = "pure virtual method called\n";
  ssize_t ignored = write(STDERR_FILENO, message, sizeof(message) - 1);
  (void)ignored;
  std::terminate();
}

namespace platform {

// The host's C runtime checks no parameters; the report is made as a Windows
// runtime makes it: the installed handler is called with no details, and
// without one the process ends at once, as the runtime's default ends it.
void ReportInvalidParameter() {
  const win::_invalid_parameter_handler handler = win::g_invalidParameterHandler.load();
  if (handler == nullptr) abort();
  handler(nullptr, nullptr, nullptr, 0, 0);
}

}  // namespace platform
