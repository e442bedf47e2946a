// What the project's minidump reader finds in a dump: its streams, the
// system, the exception, the threads, the modules, the memory ranges and the
// miscellaneous information, and the text that the dump summary prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvdump {

struct MinidumpSummary {
  struct Stream {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::uint32_t rva = 0;
  };
  struct System {
    std::uint16_t processorArchitecture = 0;
    std::uint8_t numberOfProcessors = 0;
    std::uint8_t productType = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::wstring servicePack;
  };
  struct Exception {
    std::uint32_t threadId = 0;
    std::uint32_t code = 0;
    std::uint32_t flags = 0;
    std::uint64_t address = 0;
    std::vector<std::uint64_t> parameters;
    std::uint64_t contextRip = 0;  // the instruction pointer (Eip of an x86 context)
  };
  struct Thread {
    std::uint32_t id = 0;
    std::uint64_t stackStart = 0;
    std::uint32_t stackSize = 0;
    std::uint32_t contextFlags = 0;
    std::uint64_t rip = 0;  // Eip and Esp of an x86 context
    std::uint64_t rsp = 0;
  };
  struct Module {
    std::uint64_t base = 0;
    std::uint32_t size = 0;
    std::wstring name;
    std::string buildId;  // lowercase hexadecimal
  };
  struct Memory {
    std::uint64_t start = 0;
    std::uint32_t size = 0;
  };
  struct Misc {
    std::uint32_t flags = 0;
    std::uint32_t processId = 0;
    std::uint32_t createTime = 0;
    std::uint32_t userTime = 0;
    std::uint32_t kernelTime = 0;
  };

  std::uint32_t version = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint64_t flags = 0;
  std::vector<Stream> streams;
  std::optional<System> system;
  std::optional<Exception> exception;
  std::vector<Thread> threads;
  std::vector<Module> modules;
  std::vector<Memory> memory;
  std::optional<Misc> misc;
  std::optional<std::uint32_t> assertionType;
  // Breakpad's information stream: the thread that wrote the dump and the
  // one that asked for it (0 where the stream does not say).
  struct Writer {
    std::uint32_t dumpThreadId = 0;
    std::uint32_t requestingThreadId = 0;
  };
  std::optional<Writer> writer;
};

// The name of a stream type ("ThreadListStream", ...), or its number.
std::string StreamTypeName(std::uint32_t type);
// The summary as lines of text: header, streams, system, exception, threads,
// modules, memory and miscellaneous information.
std::string FormatMinidumpSummary(const MinidumpSummary& summary);

}  // namespace kvdump
