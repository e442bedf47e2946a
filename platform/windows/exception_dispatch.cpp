// Structured exceptions on Windows: the system's unhandled-exception filter
// hands its records to the installed filter through a WINAPI trampoline, and
// the C and C++ runtimes' fatal ends (abort, std::terminate, a pure virtual
// call) are raised as exceptions so that they reach the filter too.
#include "platform/exception_dispatch.h"

#include "platform/windows/windows_api.h"

#include "platform/windows/dump_writer.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

// The interface's context is the system's own, byte for byte.
static_assert(sizeof(win::CONTEXT) == sizeof(::CONTEXT), "the interface's CONTEXT is the system's");
static_assert(offsetof(win::CONTEXT, ContextFlags) == offsetof(::CONTEXT, ContextFlags), "CONTEXT flags");
#if defined(__i386__)
static_assert(offsetof(win::CONTEXT, Eip) == offsetof(::CONTEXT, Eip) &&
                  offsetof(win::CONTEXT, Esp) == offsetof(::CONTEXT, Esp) &&
                  offsetof(win::CONTEXT, ExtendedRegisters) == offsetof(::CONTEXT, ExtendedRegisters),
              "x86 CONTEXT registers");
#else
static_assert(offsetof(win::CONTEXT, Rip) == offsetof(::CONTEXT, Rip) &&
                  offsetof(win::CONTEXT, Rsp) == offsetof(::CONTEXT, Rsp) &&
                  offsetof(win::CONTEXT, FltSave) == offsetof(::CONTEXT, FltSave),
              "x64 CONTEXT registers");
#endif

namespace win {
namespace {

// The magic number of the C++ runtime's exception records.
constexpr ::ULONG_PTR kCppExceptionMagic = 0x19930520;
// The exit code of abort() in the C runtime.
constexpr int kAbortExitCode = 3;

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_filter{nullptr};
std::atomic<_purecall_handler> g_purecallHandler{nullptr};

// What was in place before the filter took the system's filter and the
// runtime's fatal ends (the C runtime's start-up installs a filter of its own).
std::mutex g_routeMutex;
bool g_routed = false;
::LPTOP_LEVEL_EXCEPTION_FILTER g_previousSystemFilter = nullptr;
void (*g_previousAbortHandler)(int) = SIG_DFL;
std::terminate_handler g_previousTerminate = nullptr;

// The thread that is in the filter: a fault inside the filter ends the
// process at once instead of entering it again.
std::atomic<::DWORD> g_dispatchingThread{0};

// The copies handed to the filter. A stack overflow leaves the faulting
// thread little stack, so the first crash uses these; a crash of another
// thread at the same time copies onto its own stack.
std::atomic_flag g_bufferTaken = ATOMIC_FLAG_INIT;
EXCEPTION_RECORD g_record;
CONTEXT g_context;

void Widen(const ::EXCEPTION_RECORD& from, EXCEPTION_RECORD* to) {
  *to = EXCEPTION_RECORD();
  to->ExceptionCode = from.ExceptionCode;
  to->ExceptionFlags = from.ExceptionFlags;
  to->ExceptionRecord = reinterpret_cast<std::uintptr_t>(from.ExceptionRecord);
  to->ExceptionAddress = reinterpret_cast<std::uintptr_t>(from.ExceptionAddress);
  to->NumberParameters = from.NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS ? from.NumberParameters
                                                                              : EXCEPTION_MAXIMUM_PARAMETERS;
  for (DWORD i = 0; i < to->NumberParameters; ++i) to->ExceptionInformation[i] = from.ExceptionInformation[i];
}

LONG CallFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter, const ::EXCEPTION_POINTERS* system, EXCEPTION_RECORD* record,
                CONTEXT* context) {
  if (system->ExceptionRecord) Widen(*system->ExceptionRecord, record);
  if (system->ContextRecord) std::memcpy(context, system->ContextRecord, sizeof(CONTEXT));
  EXCEPTION_POINTERS pointers{record, context};
  return filter(&pointers);
}

::LONG WINAPI OnUnhandledException(::EXCEPTION_POINTERS* system) {
  LPTOP_LEVEL_EXCEPTION_FILTER filter = g_filter.load();
  if (filter == nullptr || system == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  const ::DWORD self = ::GetCurrentThreadId();
  ::DWORD idle = 0;
  if (!g_dispatchingThread.compare_exchange_strong(idle, self) && idle == self) {
    return EXCEPTION_EXECUTE_HANDLER;  // the filter itself faulted
  }
  LONG answer;
  if (!g_bufferTaken.test_and_set()) {
    answer = CallFilter(filter, system, &g_record, &g_context);
  } else {
    EXCEPTION_RECORD record;
    CONTEXT context{};
    answer = CallFilter(filter, system, &record, &context);
  }
  ::DWORD mine = self;
  g_dispatchingThread.compare_exchange_strong(mine, 0);
  return answer;
}

// abort(): the C runtime raises SIGABRT first. The filter hears of it as the
// exception STATUS_FATAL_APP_EXIT of this thread, handed over here rather
// than raised: an exception that the filter passes on would go to the
// system's error reporting (or Wine's debugger) and keep the process alive
// behind a dialog, which is not how abort() ends a program. Handled, the
// process ends with the exception's code; passed on (a second crash of a
// thread whose first one was already reported, such as the abort that ends
// a reported pure virtual call), it ends as abort() ends it without a filter.
void OnAbortSignal(int) {
  ::CONTEXT context{};
  RtlCaptureContext(reinterpret_cast<CONTEXT*>(&context));
  ::EXCEPTION_RECORD record{};
  record.ExceptionCode = STATUS_FATAL_APP_EXIT;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  record.ExceptionAddress =
      reinterpret_cast<::PVOID>(platform::ContextInstructionPointer(*reinterpret_cast<CONTEXT*>(&context)));
  ::EXCEPTION_POINTERS pointers{&record, &context};
  if (OnUnhandledException(&pointers) == EXCEPTION_EXECUTE_HANDLER) {
    ::TerminateProcess(::GetCurrentProcess(), STATUS_FATAL_APP_EXIT);
  }
  ::_exit(kAbortExitCode);
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
  platform_windows::MiniDumpWriter();  // loaded now, not while a crash is handled
  g_previousSystemFilter = ::SetUnhandledExceptionFilter(OnUnhandledException);
  g_previousAbortHandler = std::signal(SIGABRT, OnAbortSignal);
  g_previousTerminate = std::set_terminate(OnTerminate);
  g_routed = true;
}

void Unroute() {
  if (!g_routed) return;
  ::SetUnhandledExceptionFilter(g_previousSystemFilter);
  std::signal(SIGABRT, g_previousAbortHandler);
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

// The program's pure virtual calls reach __cxa_pure_virtual below (GCC's C++
// runtime has no _purecall), so the handler is kept here.
_purecall_handler _set_purecall_handler(_purecall_handler handler) { return g_purecallHandler.exchange(handler); }

_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler) {
  return ::_set_invalid_parameter_handler(handler);
}

// The system's x86 RtlCaptureContext reads its caller's frame through the
// frame pointer (the registers as that caller returns): here that frame is
// this function's own, so the context is the calling code's right after the
// call, whatever the calling code's frames look like.
__attribute__((noinline, optimize("no-omit-frame-pointer", "no-optimize-sibling-calls"))) void RtlCaptureContext(
    CONTEXT* context) {
  ::RtlCaptureContext(reinterpret_cast<::CONTEXT*>(context));
}

void RaiseException(DWORD code, DWORD flags, DWORD numberOfArguments, const ULONG_PTR* arguments) {
  ::ULONG_PTR narrow[EXCEPTION_MAXIMUM_PARAMETERS] = {};
  const DWORD count =
      numberOfArguments < EXCEPTION_MAXIMUM_PARAMETERS ? numberOfArguments : DWORD{EXCEPTION_MAXIMUM_PARAMETERS};
  for (DWORD i = 0; i < count; ++i) narrow[i] = static_cast<::ULONG_PTR>(arguments[i]);
  ::RaiseException(code, flags | EXCEPTION_NONCONTINUABLE, count, count ? narrow : nullptr);
  // Not reached unless a handler of the system's dismissed the exception:
  // the raise still ends the process.
  ::TerminateProcess(::GetCurrentProcess(), code);
  for (;;) ::Sleep(INFINITE);
}

DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace win

// The C++ runtime calls this for a pure virtual call; the program's own
// definition comes before the runtime's.
extern "C" void __cxa_pure_virtual() {
  win::_purecall_handler handler = win::g_purecallHandler.load();
  if (handler != nullptr) {
    handler();
    // A handler should not return; if it does, the call still ends the process.
    std::abort();
  }
  std::fputs("pure virtual method called\n", stderr);
  std::terminate();
}

namespace platform {

// The program's C runtime keeps the handler; its checked functions call it
// with no details.
void ReportInvalidParameter() {
  const ::_invalid_parameter_handler handler = ::_get_invalid_parameter_handler();
  if (handler != nullptr) handler(nullptr, nullptr, nullptr, 0, 0);
}

}  // namespace platform
