// Debugger output through kernel32. The system keeps no record of what a
// program sent to the debugger, so the lines this process wrote are also
// kept here for ReadDebugLog: the product's own checks and tests read back
// what the installer reported, as they do on the simulated machine (whose
// log is the machine's, shared by its processes; here it is the process's).
#include "platform/debug_output.h"

#include <mutex>

#include "platform/codepage.h"
#include "platform/windows/windows_api.h"

namespace {

struct DebugRecord {
  std::mutex mutex;
  std::vector<std::wstring> lines;
};

DebugRecord& Record() {
  static DebugRecord record;
  return record;
}

}  // namespace

namespace win {

void OutputDebugStringW(const std::wstring& text) {
  ::OutputDebugStringW(text.c_str());
  DebugRecord& record = Record();
  std::lock_guard<std::mutex> guard(record.mutex);
  record.lines.push_back(text);
}

// OutputDebugStringA would read the bytes in the ANSI code page; the
// interface's 8-bit text is UTF-8.
void OutputDebugStringA(const std::string& text) { OutputDebugStringW(platform::Utf8ToWide(text)); }

}  // namespace win

namespace platform {

std::vector<std::wstring> ReadDebugLog() {
  DebugRecord& record = Record();
  std::lock_guard<std::mutex> guard(record.mutex);
  return record.lines;
}

void ClearDebugLog() {
  DebugRecord& record = Record();
  std::lock_guard<std::mutex> guard(record.mutex);
  record.lines.clear();
}

}  // namespace platform
