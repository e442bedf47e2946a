// Dumps on the simulated machine: the process captured and written by the
// crash reporter's own minidump writer.
#include "crash/dump_file.h"

#include "crash/minidump_writer.h"
#include "crash/process_capture.h"

namespace kvdump {

bool WriteDumpFile(const std::wstring& path, win::DWORD requestingThread, win::EXCEPTION_POINTERS* exception,
                   const minidump::AssertionInfo* assertion) {
  return WriteMinidumpFile(path, CaptureCrash(requestingThread, exception, assertion));
}

}  // namespace kvdump
