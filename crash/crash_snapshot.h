// What one crash dump holds, captured from the crashed process and handed to
// the minidump writer: the system, the exception, the threads, the modules,
// extra memory and the process's times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crash/minidump_format.h"
#include "platform/exception_dispatch.h"
#include "platform/process_snapshot.h"

namespace kvdump {

struct SystemSnapshot {
  // The processor whose registers the contexts hold.
  std::uint16_t processorArchitecture = platform::kContextProcessorArchitecture;
  std::uint16_t processorLevel = 6;
  std::uint16_t processorRevision = 0;
  std::uint8_t numberOfProcessors = 1;
  std::uint8_t productType = 1;  // 1 workstation, 3 server
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint16_t suiteMask = 0;
  std::wstring servicePack;      // "Service Pack 3", empty for none
};

struct ExceptionSnapshot {
  std::uint32_t threadId = 0;
  win::EXCEPTION_RECORD record;
  win::CONTEXT context{};
};

struct MemorySnapshot {
  std::uint64_t start = 0;
  std::vector<std::uint8_t> bytes;
};

struct CrashSnapshot {
  SystemSnapshot system;
  std::optional<ExceptionSnapshot> exception;
  std::optional<minidump::AssertionInfo> assertion;  // a pure virtual call's report
  std::vector<platform::ThreadSnapshot> threads;
  std::vector<platform::ModuleSnapshot> modules;
  std::vector<MemorySnapshot> memory;  // besides the stacks (code around the fault)
  std::uint32_t processId = 0;
  std::uint32_t processCreateTime = 0;
  std::uint32_t processUserTime = 0;
  std::uint32_t processKernelTime = 0;
  std::uint32_t dumpTime = 0;  // seconds since 1970
};

}  // namespace kvdump
