// Structured exceptions: a fatal fault of any thread (invalid access, stack
// overflow, illegal instruction, division by zero, abort, an uncaught C++
// exception, a pure virtual call) reaches the process's unhandled-exception
// filter as an exception record and the thread's register context, as
// Windows hands them over; after the filter the process ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace win {

using DWORD64 = std::uint64_t;
// The exception record's values are 64 bits wide on every target, as a
// minidump stores them (the system's 32-bit records are widened).
using ULONG_PTR = std::uint64_t;

constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005;
constexpr DWORD EXCEPTION_IN_PAGE_ERROR = 0xC0000006;
constexpr DWORD STATUS_INVALID_PARAMETER = 0xC000000D;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D;
constexpr DWORD STATUS_NONCONTINUABLE_EXCEPTION = 0xC0000025;
constexpr DWORD EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008E;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094;
constexpr DWORD EXCEPTION_INT_OVERFLOW = 0xC0000095;
constexpr DWORD EXCEPTION_STACK_OVERFLOW = 0xC00000FD;
constexpr DWORD EXCEPTION_BREAKPOINT = 0x80000003;
constexpr DWORD STATUS_FATAL_APP_EXIT = 0x40000015;
// The code the C++ runtime raises for a thrown exception ("msc").
constexpr DWORD EXCEPTION_CPP = 0xE06D7363;
constexpr DWORD EXCEPTION_NONCONTINUABLE = 0x1;
constexpr std::size_t EXCEPTION_MAXIMUM_PARAMETERS = 15;

struct EXCEPTION_RECORD {
  DWORD ExceptionCode = 0;
  DWORD ExceptionFlags = 0;
  DWORD64 ExceptionRecord = 0;  // a chained record; never used here
  DWORD64 ExceptionAddress = 0;
  DWORD NumberParameters = 0;
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS] = {};
};

// The thread context is the processor's of the target the program is built
// for: the x86 one for 32-bit Windows, the x64 one for 64-bit Windows and for
// the simulated machine (an x86-64 Linux process). Each is laid out byte for
// byte as Windows defines it, so that it can be written to a minidump as it
// stands; code that must not know which one it holds uses the platform::
// helpers after them.
#if defined(__i386__) || defined(_M_IX86)

constexpr DWORD CONTEXT_i386 = 0x00010000;
constexpr DWORD CONTEXT_CONTROL = CONTEXT_i386 | 0x1;
constexpr DWORD CONTEXT_INTEGER = CONTEXT_i386 | 0x2;
constexpr DWORD CONTEXT_SEGMENTS = CONTEXT_i386 | 0x4;
constexpr DWORD CONTEXT_FLOATING_POINT = CONTEXT_i386 | 0x8;
constexpr DWORD CONTEXT_DEBUG_REGISTERS = CONTEXT_i386 | 0x10;
constexpr DWORD CONTEXT_EXTENDED_REGISTERS = CONTEXT_i386 | 0x20;
constexpr DWORD CONTEXT_FULL = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;

// The x87 state of the x86 context.
struct FLOATING_SAVE_AREA {
  DWORD ControlWord, StatusWord, TagWord, ErrorOffset, ErrorSelector, DataOffset, DataSelector;
  BYTE RegisterArea[80];
  DWORD Cr0NpxState;
};

// The x86 thread context (716 bytes).
struct CONTEXT {
  DWORD ContextFlags;
  DWORD Dr0, Dr1, Dr2, Dr3, Dr6, Dr7;
  FLOATING_SAVE_AREA FloatSave;
  DWORD SegGs, SegFs, SegEs, SegDs;
  DWORD Edi, Esi, Ebx, Edx, Ecx, Eax;
  DWORD Ebp, Eip, SegCs, EFlags, Esp, SegSs;
  BYTE ExtendedRegisters[512];  // the FXSAVE area
};
static_assert(sizeof(CONTEXT) == 716, "the x86 CONTEXT is 716 bytes");
static_assert(offsetof(CONTEXT, FloatSave) == 0x1C && offsetof(CONTEXT, Edi) == 0x9C &&
                  offsetof(CONTEXT, Ebp) == 0xB4 && offsetof(CONTEXT, Eip) == 0xB8 && offsetof(CONTEXT, Esp) == 0xC4 &&
                  offsetof(CONTEXT, ExtendedRegisters) == 0xCC,
              "register offsets of the x86 CONTEXT");

#else

constexpr DWORD CONTEXT_AMD64 = 0x00100000;
constexpr DWORD CONTEXT_CONTROL = CONTEXT_AMD64 | 0x1;
constexpr DWORD CONTEXT_INTEGER = CONTEXT_AMD64 | 0x2;
constexpr DWORD CONTEXT_SEGMENTS = CONTEXT_AMD64 | 0x4;
constexpr DWORD CONTEXT_FLOATING_POINT = CONTEXT_AMD64 | 0x8;
constexpr DWORD CONTEXT_FULL = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_FLOATING_POINT;

// The x64 thread context (1232 bytes).
struct alignas(16) CONTEXT {
  DWORD64 P1Home, P2Home, P3Home, P4Home, P5Home, P6Home;
  DWORD ContextFlags;
  DWORD MxCsr;
  WORD SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
  DWORD EFlags;
  DWORD64 Dr0, Dr1, Dr2, Dr3, Dr6, Dr7;
  DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
  DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
  DWORD64 Rip;
  BYTE FltSave[512];  // the FXSAVE area
  BYTE VectorRegister[26 * 16];
  DWORD64 VectorControl;
  DWORD64 DebugControl, LastBranchToRip, LastBranchFromRip, LastExceptionToRip, LastExceptionFromRip;
};
static_assert(sizeof(CONTEXT) == 1232, "the x64 CONTEXT is 1232 bytes");
static_assert(offsetof(CONTEXT, ContextFlags) == 0x30 && offsetof(CONTEXT, Rax) == 0x78 &&
                  offsetof(CONTEXT, Rsp) == 0x98 && offsetof(CONTEXT, Rip) == 0xF8 && offsetof(CONTEXT, FltSave) == 0x100,
              "register offsets of the x64 CONTEXT");

#endif

struct EXCEPTION_POINTERS {
  EXCEPTION_RECORD* ExceptionRecord = nullptr;
  CONTEXT* ContextRecord = nullptr;
};

constexpr LONG EXCEPTION_EXECUTE_HANDLER = 1;
constexpr LONG EXCEPTION_CONTINUE_SEARCH = 0;

// Called on the faulting thread. On the simulated machine it runs on a stack
// of its own for faults; on Windows on what is left of the thread's stack, so
// that after a stack overflow it must leave its work to another thread.
// Whatever it answers, the process then ends, never with a success exit (on
// the simulated machine killed by the fault's signal, on Windows with the
// exception's code).
using LPTOP_LEVEL_EXCEPTION_FILTER = LONG (*)(EXCEPTION_POINTERS* exception);
// Installs the filter and returns the previous one. While a filter is
// installed the process's fatal signals and its termination paths are routed
// to it; installing null gives them back to the handlers that were in place
// before, so the process ends as it would have without any filter.
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);

// The runtime's report of a pure virtual call: with a handler installed it is
// called on the calling thread; without one the call ends the process as the
// C++ runtime does. Returns the previous handler.
using _purecall_handler = void (*)();
_purecall_handler _set_purecall_handler(_purecall_handler handler);
// The C runtime's report of a call with an invalid parameter (a checked
// function given a null pointer or a bad descriptor): with a handler
// installed it is called on the calling thread with the expression, the
// function, the file and the line (null and 0 from a release runtime).
// Returns the previous handler.
using _invalid_parameter_handler = void (*)(const wchar_t* expression, const wchar_t* function, const wchar_t* file,
                                            unsigned int line, std::uintptr_t reserved);
_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler);
// The calling thread's registers as they are at the call (on x86 Windows: as
// they are right after it).
void RtlCaptureContext(CONTEXT* context);
// Raises a non-continuable software exception on the calling thread: the
// filter sees it with the caller's context; the process then ends.
[[noreturn]] void RaiseException(DWORD code, DWORD flags, DWORD numberOfArguments, const ULONG_PTR* arguments);

DWORD GetCurrentThreadId();

}  // namespace win

namespace platform {

// The processor whose registers win::CONTEXT holds, as the system information
// of a minidump names it (PROCESSOR_ARCHITECTURE_INTEL or _AMD64), and the
// context flag that names it alone (a context with no registers known).
#if defined(__i386__) || defined(_M_IX86)
constexpr win::WORD kContextProcessorArchitecture = 0;
constexpr win::DWORD kContextProcessorFlag = win::CONTEXT_i386;
inline std::uint64_t ContextInstructionPointer(const win::CONTEXT& context) { return context.Eip; }
inline std::uint64_t ContextStackPointer(const win::CONTEXT& context) { return context.Esp; }
#else
constexpr win::WORD kContextProcessorArchitecture = 9;
constexpr win::DWORD kContextProcessorFlag = win::CONTEXT_AMD64;
inline std::uint64_t ContextInstructionPointer(const win::CONTEXT& context) { return context.Rip; }
inline std::uint64_t ContextStackPointer(const win::CONTEXT& context) { return context.Rsp; }
#endif

}  // namespace platform
