// The dump summary as text.
#include "crash/minidump_summary.h"

#include <cstdio>

#include "crash/minidump_format.h"
#include "platform/codepage.h"

namespace kvdump {
namespace {

std::string Format(const char* pattern, unsigned long long a = 0, unsigned long long b = 0,
                   unsigned long long c = 0) {
  char text[160];
  std::snprintf(text, sizeof(text), pattern, a, b, c);
  return text;
}

const char* ExceptionName(std::uint32_t code) {
  switch (code) {
    case 0xC0000005:
      return "EXCEPTION_ACCESS_VIOLATION";
    case 0xC00000FD:
      return "EXCEPTION_STACK_OVERFLOW";
    case 0xE06D7363:
      return "C++ exception";
    case 0x40000015:
      return "STATUS_FATAL_APP_EXIT (abort)";
    case 0xC0000025:
      return "STATUS_NONCONTINUABLE_EXCEPTION";
    case 0xC000000D:
      return "STATUS_INVALID_PARAMETER";
    case 0xC000001D:
      return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case 0xC0000094:
      return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case 0x80000003:
      return "EXCEPTION_BREAKPOINT";
    default:
      return "";
  }
}

const char* Architecture(std::uint16_t architecture) {
  switch (architecture) {
    case minidump::kProcessorArchitectureAmd64:
      return "AMD64";
    case minidump::kProcessorArchitectureIntel:
      return "x86";
    default:
      return "other";
  }
}

}  // namespace

std::string StreamTypeName(std::uint32_t type) {
  switch (type) {
    case minidump::kThreadListStream:
      return "ThreadListStream";
    case minidump::kModuleListStream:
      return "ModuleListStream";
    case minidump::kMemoryListStream:
      return "MemoryListStream";
    case minidump::kExceptionStream:
      return "ExceptionStream";
    case minidump::kSystemInfoStream:
      return "SystemInfoStream";
    case minidump::kMiscInfoStream:
      return "MiscInfoStream";
    case minidump::kAssertionInfoStream:
      return "AssertionInfoStream";
    case minidump::kUnusedStream:
      return "UnusedStream";
    case minidump::kBreakpadInfoStream:
      return "BreakpadInfoStream";
    default:
      return Format("stream 0x%llx", type);
  }
}

std::string FormatMinidumpSummary(const MinidumpSummary& s) {
  std::string out = Format("minidump version 0x%08llx, %llu streams, written %llu (seconds since 1970)\n", s.version,
                           s.streams.size(), s.timeDateStamp);
  out += "streams:\n";
  for (const auto& stream : s.streams) {
    out += "  " + StreamTypeName(stream.type) + Format("  rva 0x%llx  %llu bytes\n", stream.rva, stream.size);
  }
  if (s.system) {
    out += Format("system: Windows %llu.%llu build %llu", s.system->majorVersion, s.system->minorVersion,
                  s.system->buildNumber);
    if (!s.system->servicePack.empty()) out += " " + platform::WideToUtf8(s.system->servicePack);
    out += std::string(s.system->productType == 1 ? " workstation" : " server") + ", " +
           Architecture(s.system->processorArchitecture) +
           Format(", %llu processors\n", s.system->numberOfProcessors);
  }
  if (s.exception) {
    out += Format("exception: code 0x%08llx", s.exception->code);
    const std::string name = ExceptionName(s.exception->code);
    if (!name.empty()) out += " " + name;
    out += Format(" at 0x%llx on thread %llu", s.exception->address, s.exception->threadId);
    if (!s.exception->parameters.empty()) {
      out += ", parameters";
      for (auto parameter : s.exception->parameters) out += Format(" 0x%llx", parameter);
    }
    out += "\n";
  }
  if (s.writer) {
    out += Format("written by thread %llu for thread %llu\n", s.writer->dumpThreadId, s.writer->requestingThreadId);
  }
  if (s.assertionType) out += Format("assertion: type %llu (1 an invalid parameter, 2 a pure virtual call)\n", *s.assertionType);
  out += Format("threads: %llu\n", s.threads.size());
  const bool x86 = s.system && s.system->processorArchitecture == minidump::kProcessorArchitectureIntel;
  for (const auto& thread : s.threads) {
    out += Format(x86 ? "  thread %llu  eip 0x%llx  esp 0x%llx" : "  thread %llu  rip 0x%llx  rsp 0x%llx", thread.id,
                  thread.rip, thread.rsp) +
           Format("  stack 0x%llx (%llu bytes)\n", thread.stackStart, thread.stackSize);
  }
  out += Format("modules: %llu\n", s.modules.size());
  for (const auto& module : s.modules) {
    out += Format("  0x%llx  %8llu bytes  ", module.base, module.size) + platform::WideToUtf8(module.name);
    if (!module.buildId.empty()) out += "  build id " + module.buildId;
    out += "\n";
  }
  out += Format("memory ranges: %llu\n", s.memory.size());
  if (s.misc) {
    out += Format("process: id %llu, started %llu", s.misc->processId, s.misc->createTime) +
           Format(", user time %llu s, kernel time %llu s\n", s.misc->userTime, s.misc->kernelTime);
  }
  return out;
}

}  // namespace kvdump
