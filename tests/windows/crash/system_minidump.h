// A minidump of this process written by the system's own writer
// (MiniDumpWriteDump of dbghelp), for the project's reader to read.
#pragma once

#include <cstdint>
#include <string>

namespace testing_windows {

struct SystemMinidump {
  std::string bytes;                    // empty when the system could not write it
  std::uint32_t threadId = 0;           // the thread the exception stream names
  std::uint64_t instructionPointer = 0; // its context's, as captured
  std::uint64_t stackPointer = 0;
};

// Written with an exception stream for the calling thread, whose context is
// the calling thread's captured registers.
SystemMinidump WriteSystemMinidump(const std::wstring& folder);

}  // namespace testing_windows
