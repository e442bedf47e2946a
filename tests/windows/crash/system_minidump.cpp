// The system's minidump writer, called with the system's own structures.
#include "windows/crash/system_minidump.h"

#include <windows.h>
#include <dbghelp.h>

#include <fstream>
#include <iterator>

namespace testing_windows {

SystemMinidump WriteSystemMinidump(const std::wstring& folder) {
  SystemMinidump dump;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_BREAKPOINT;
#if defined(__i386__)
  dump.instructionPointer = context.Eip;
  dump.stackPointer = context.Esp;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Eip);
#else
  dump.instructionPointer = context.Rip;
  dump.stackPointer = context.Rsp;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
#endif
  EXCEPTION_POINTERS pointers{&record, &context};
  MINIDUMP_EXCEPTION_INFORMATION exception{GetCurrentThreadId(), &pointers, FALSE};
  dump.threadId = GetCurrentThreadId();

  const std::wstring path = folder + L"\\system.dmp";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return dump;
  const BOOL written = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &exception,
                                         nullptr, nullptr);
  CloseHandle(file);
  if (written) {
    std::ifstream in(path.c_str(), std::ios::binary);
    dump.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  DeleteFileW(path.c_str());
  return dump;
}

}  // namespace testing_windows
