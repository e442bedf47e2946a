// Dumps of the Windows program: the system's debug help library writes them
// (MiniDumpWriteDump), with Breakpad's information stream naming the handler
// thread and the crashed one, and its assertion stream for a pure virtual call.
#include "crash/dump_file.h"

#include <vector>

#include "platform/files.h"
#include "platform/minidump.h"
#include "platform/process.h"
#include "platform/threads.h"

namespace kvdump {

bool WriteDumpFile(const std::wstring& path, win::DWORD requestingThread, win::EXCEPTION_POINTERS* exception,
                   const minidump::AssertionInfo* assertion) {
  const win::HANDLE file = win::CreateFileW(path, win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW,
                                            win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) return false;

  minidump::BreakpadInfo info{};
  info.validity = minidump::kBreakpadInfoValidDumpThreadId | minidump::kBreakpadInfoValidRequestingThreadId;
  info.dumpThreadId = win::GetCurrentThreadId();
  info.requestingThreadId = requestingThread;
  std::vector<win::MINIDUMP_USER_STREAM> streams = {{minidump::kBreakpadInfoStream, sizeof info, &info}};
  if (assertion != nullptr) streams.push_back({minidump::kAssertionInfoStream, sizeof *assertion, assertion});
  const win::MINIDUMP_USER_STREAM_INFORMATION userStreams{static_cast<win::DWORD>(streams.size()), streams.data()};

  win::MINIDUMP_EXCEPTION_INFORMATION crashed;
  crashed.ThreadId = requestingThread;
  crashed.ExceptionPointers = exception;
  crashed.ClientPointers = win::FALSE;
  const bool written =
      win::MiniDumpWriteDump(win::GetCurrentProcess(), win::GetCurrentProcessId(), file, win::MiniDumpNormal,
                             exception != nullptr ? &crashed : nullptr, &userStreams) != win::FALSE;
  win::CloseHandle(file);
  if (!written) win::DeleteFileW(path);
  return written;
}

}  // namespace kvdump
