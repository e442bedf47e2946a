// What the system's minidump writer reads of a running process: its threads
// with their registers and stack memory, its loaded modules by their Windows
// paths, memory ranges and the process's times. Used on the crash reporter's
// handler thread while the thread that crashed waits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/exception_dispatch.h"

namespace platform {

struct ThreadSnapshot {
  win::DWORD threadId = 0;
  bool hasContext = false;   // false when the thread could not be stopped in time
  win::CONTEXT context{};
  std::uint64_t stackStart = 0;      // lowest address of the copied stack memory
  std::vector<std::uint8_t> stack;   // from the stack pointer upwards
};

struct ModuleSnapshot {
  std::uint64_t base = 0;
  std::uint64_t size = 0;
  std::wstring path;          // Windows path (C:\... inside the machine, Z:\... outside)
  std::string buildId;        // the ELF build id, raw bytes; empty when the file has none
  std::uint32_t timeDateStamp = 0;  // the file's modification time (seconds since 1970)
};

struct ProcessSnapshot {
  std::vector<ThreadSnapshot> threads;  // the requesting thread first
  std::vector<ModuleSnapshot> modules;  // in address order, the program first
  std::uint32_t createTime = 0;         // seconds since 1970
  std::uint32_t userSeconds = 0;
  std::uint32_t kernelSeconds = 0;
};

// Captures this process. The requesting thread (the one that crashed) is
// given with its context, which is used instead of its current registers;
// the calling thread is left out. Every other thread is stopped while its
// registers and stack are read and resumes afterwards. At most `stackLimit`
// bytes of each stack are copied.
ProcessSnapshot CaptureProcess(win::DWORD requestingThread, const win::CONTEXT& requestingContext,
                               std::size_t stackLimit);

// Copies `size` bytes at `address` of this process into `bytes` when the
// whole range is readable memory; false otherwise (nothing is touched).
bool ReadOwnMemory(std::uint64_t address, std::size_t size, std::vector<std::uint8_t>* bytes);

}  // namespace platform
