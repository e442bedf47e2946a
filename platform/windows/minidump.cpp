// MiniDumpWriteDump of dbghelp.dll from the system folder (system_library.h).
// The interface's exception record is widened for the simulation's sake; the
// system's is rebuilt from it here, and the context, which is the system's
// byte for byte, is handed over as it is.
#include "platform/minidump.h"

#include "platform/windows/windows_api.h"

#include <cstring>
#include <vector>

#include "platform/windows/dump_writer.h"
#include "platform/windows/system_library.h"

namespace platform_windows {

decltype(&::MiniDumpWriteDump) MiniDumpWriter() {
  static const auto write = SystemFunction<decltype(&::MiniDumpWriteDump)>(L"dbghelp.dll", "MiniDumpWriteDump");
  return write;
}

}  // namespace platform_windows

namespace win {

using platform_windows::Native;

BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE dumpType,
                       const MINIDUMP_EXCEPTION_INFORMATION* exception,
                       const MINIDUMP_USER_STREAM_INFORMATION* userStreams) {
  ::EXCEPTION_RECORD record{};
  ::EXCEPTION_POINTERS pointers{};
  ::MINIDUMP_EXCEPTION_INFORMATION systemException{};
  if (exception != nullptr && exception->ExceptionPointers != nullptr) {
    const EXCEPTION_POINTERS& given = *exception->ExceptionPointers;
    if (given.ExceptionRecord != nullptr) {
      const EXCEPTION_RECORD& from = *given.ExceptionRecord;
      record.ExceptionCode = from.ExceptionCode;
      record.ExceptionFlags = from.ExceptionFlags;
      record.ExceptionAddress = reinterpret_cast<::PVOID>(static_cast<std::uintptr_t>(from.ExceptionAddress));
      record.NumberParameters = from.NumberParameters;
      for (::DWORD i = 0; i < record.NumberParameters && i < EXCEPTION_MAXIMUM_PARAMETERS; ++i) {
        record.ExceptionInformation[i] = from.ExceptionInformation[i];
      }
      pointers.ExceptionRecord = &record;
    }
    pointers.ContextRecord = reinterpret_cast<::CONTEXT*>(given.ContextRecord);
    systemException.ThreadId = exception->ThreadId;
    systemException.ExceptionPointers = &pointers;
    systemException.ClientPointers = FALSE;
  }
  std::vector<::MINIDUMP_USER_STREAM> streams;
  ::MINIDUMP_USER_STREAM_INFORMATION systemStreams{};
  if (userStreams != nullptr) {
    for (DWORD i = 0; i < userStreams->UserStreamCount; ++i) {
      const MINIDUMP_USER_STREAM& stream = userStreams->UserStreamArray[i];
      streams.push_back({stream.Type, stream.BufferSize, const_cast<void*>(stream.Buffer)});
    }
    systemStreams.UserStreamCount = static_cast<::ULONG>(streams.size());
    systemStreams.UserStreamArray = streams.data();
  }
  const auto write = platform_windows::MiniDumpWriter();
  if (!write) return platform_windows::MissingFunction(FALSE);
  return write(Native(process), processId, Native(file), static_cast<::MINIDUMP_TYPE>(dumpType),
               systemException.ExceptionPointers ? &systemException : nullptr, userStreams ? &systemStreams : nullptr,
               nullptr);
}

}  // namespace win
