// MiniDumpWriteDump of the debug help library (dbghelp): the system's own
// minidump of a process, as the Windows program's crash reporter writes it.
// The simulated machine has no debug help library; the Linux builds write
// their dumps with the crash reporter's own writer instead.
#pragma once

#include "platform/exception_dispatch.h"
#include "platform/win_types.h"

namespace win {

// The kinds of dump used here (MINIDUMP_TYPE flags).
enum MINIDUMP_TYPE : DWORD {
  MiniDumpNormal = 0x0,
};

// The exception a dump records: the thread it happened on and the records
// that thread's filter received, in this process (ClientPointers FALSE).
struct MINIDUMP_EXCEPTION_INFORMATION {
  DWORD ThreadId = 0;
  EXCEPTION_POINTERS* ExceptionPointers = nullptr;
  BOOL ClientPointers = FALSE;
};

// Streams of the writer's own that the dump carries besides the system's.
struct MINIDUMP_USER_STREAM {
  DWORD Type = 0;
  DWORD BufferSize = 0;
  const void* Buffer = nullptr;
};
struct MINIDUMP_USER_STREAM_INFORMATION {
  DWORD UserStreamCount = 0;
  const MINIDUMP_USER_STREAM* UserStreamArray = nullptr;
};

// Writes the dump of `process` into `file` (opened for writing). `exception`
// and `userStreams` may be null; no callback is taken. FALSE with the last
// error set when the dump could not be written.
BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE dumpType,
                       const MINIDUMP_EXCEPTION_INFORMATION* exception,
                       const MINIDUMP_USER_STREAM_INFORMATION* userStreams);

}  // namespace win
