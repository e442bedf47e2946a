// Minidumps of the Windows program: the project's writer records the
// program's processor (x86 for the 32-bit program) and its contexts, and the
// project's reader reads them back, from its own dumps and from one that the
// system's writer (dbghelp's MiniDumpWriteDump, here Wine's) made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "crash/minidump_format.h"
#include "crash/minidump_reader.h"
#include "crash/minidump_writer.h"
#include "platform/exception_dispatch.h"
#include "windows/crash/system_minidump.h"

namespace {

// The program's processor as Windows numbers it, its context flag and the
// size of its context.
#if defined(__i386__)
constexpr std::uint16_t kArchitecture = 0;
constexpr win::DWORD kProcessorFlag = 0x00010000;
constexpr std::uint32_t kContextSize = 716;
#else
constexpr std::uint16_t kArchitecture = 9;
constexpr win::DWORD kProcessorFlag = 0x00100000;
constexpr std::uint32_t kContextSize = 1232;
#endif

__attribute__((noinline, optimize("no-optimize-sibling-calls"))) void Capture(win::CONTEXT* context) {
  win::RtlCaptureContext(context);
}

TEST(Minidump, TheProgramsDumpRecordsItsProcessorAndRegisters) {
  win::CONTEXT context{};
  Capture(&context);
  kvdump::CrashSnapshot snapshot;
  kvdump::ExceptionSnapshot exception;
  exception.threadId = win::GetCurrentThreadId();
  exception.record.ExceptionCode = win::EXCEPTION_BREAKPOINT;
  exception.record.ExceptionAddress = platform::ContextInstructionPointer(context);
  exception.context = context;
  snapshot.exception = exception;
  platform::ThreadSnapshot thread;
  thread.threadId = exception.threadId;
  thread.hasContext = true;
  thread.context = context;
  platform::ThreadSnapshot stopped;  // a thread whose registers could not be read
  stopped.threadId = exception.threadId + 4;
  snapshot.threads = {thread, stopped};

  const std::string bytes = kvdump::WriteMinidump(snapshot);
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(bytes, &s, &error)) << error;
  ASSERT_TRUE(s.system.has_value());
  EXPECT_EQ(s.system->processorArchitecture, kArchitecture);
  ASSERT_TRUE(s.exception.has_value());
  EXPECT_EQ(s.exception->contextRip, platform::ContextInstructionPointer(context));
  ASSERT_EQ(s.threads.size(), 2u);
  EXPECT_EQ(s.threads[0].contextFlags, context.ContextFlags);
  EXPECT_EQ(s.threads[0].rip, platform::ContextInstructionPointer(context));
  EXPECT_EQ(s.threads[0].rsp, platform::ContextStackPointer(context));
  EXPECT_EQ(s.threads[1].contextFlags, kProcessorFlag);
  EXPECT_EQ(s.threads[1].rip, 0u);
  // The exception stream's context is the processor's whole context (its
  // location at offset 160 of the stream).
  std::uint32_t exceptionContextSize = 0;
  for (const auto& stream : s.streams) {
    if (stream.type == kvdump::minidump::kExceptionStream) std::memcpy(&exceptionContextSize, &bytes[stream.rva + 160], 4);
  }
  EXPECT_EQ(exceptionContextSize, kContextSize);
}

TEST(Minidump, TheSystemWritersDumpIsReadWithItsRegisters) {
  const char* temp = std::getenv("TEMP");
  ASSERT_NE(temp, nullptr);
  const std::string folder = temp;
  const testing_windows::SystemMinidump dump = testing_windows::WriteSystemMinidump(std::wstring(folder.begin(), folder.end()));
  ASSERT_FALSE(dump.bytes.empty()) << "MiniDumpWriteDump failed";
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(dump.bytes, &s, &error)) << error;
  ASSERT_TRUE(s.system.has_value());
  EXPECT_EQ(s.system->processorArchitecture, kArchitecture);
  ASSERT_TRUE(s.exception.has_value());
  EXPECT_EQ(s.exception->threadId, dump.threadId);
  EXPECT_EQ(s.exception->code, win::EXCEPTION_BREAKPOINT);
  EXPECT_EQ(s.exception->contextRip, dump.instructionPointer);
  // Every thread's registers are read: the instruction pointer of each lies
  // in a module of the dump, its stack pointer in its stack.
  ASSERT_FALSE(s.threads.empty());
  ASSERT_FALSE(s.modules.empty());
  for (const auto& thread : s.threads) {
    EXPECT_EQ(thread.contextFlags & kProcessorFlag, kProcessorFlag) << "thread " << thread.id;
    bool inModule = false;
    for (const auto& module : s.modules) inModule |= thread.rip >= module.base && thread.rip < module.base + module.size;
    EXPECT_TRUE(inModule) << "thread " << thread.id << " at " << std::hex << thread.rip;
    EXPECT_GE(thread.rsp, thread.stackStart) << "thread " << thread.id;
    EXPECT_LT(thread.rsp, thread.stackStart + thread.stackSize + 1) << "thread " << thread.id;
  }
}

}  // namespace
