// make_seed_dump: writes minidumps of this very process into a folder, made
// the way the crash reporter makes them (the process captured on another
// thread while the "crashed" one waits, the machine's system description, the
// code around the fault), as seeds of the minidump reader's target:
//
//   make_seed_dump <folder>
//
// One dump has an invalid access as its exception, one a pure virtual
// call's report, one no exception; stacks are cut short so that the seeds
// stay within the fuzzer's input length.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "crash/minidump_writer.h"
#include "crash/process_capture.h"
#include "fuzz/fuzz_machine.h"

namespace {

constexpr std::size_t kStackBytes = 1024;

kvdump::CrashSnapshot Capture(win::DWORD waitingThread, std::uint64_t stackPointer) {
  win::CONTEXT context{};
  context.ContextFlags = win::CONTEXT_FULL;
  context.Rip = reinterpret_cast<std::uint64_t>(&Capture);
  context.Rsp = stackPointer;
  const platform::ProcessSnapshot process = platform::CaptureProcess(waitingThread, context, kStackBytes);
  kvdump::CrashSnapshot snapshot;
  snapshot.system = kvdump::DescribeSystem();
  snapshot.threads = process.threads;
  snapshot.modules = process.modules;
  snapshot.processId = 1004;
  snapshot.processCreateTime = process.createTime;
  snapshot.dumpTime = process.createTime + 1;
  std::vector<std::uint8_t> code;
  if (platform::ReadOwnMemory(context.Rip, 64, &code)) snapshot.memory.push_back({context.Rip, code});
  return snapshot;
}

bool Write(const std::string& path, const kvdump::CrashSnapshot& snapshot) {
  std::ofstream out(path, std::ios::binary);
  const std::string bytes = kvdump::WriteMinidump(snapshot);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seed_dump <folder>\n");
    return 2;
  }
  fuzzing::UseFreshMachine();
  const win::DWORD self = win::GetCurrentThreadId();
  volatile std::uint64_t marker = 0;
  kvdump::CrashSnapshot snapshot;
  std::thread handler([&] { snapshot = Capture(self, reinterpret_cast<std::uint64_t>(&marker)); });
  handler.join();

  const std::string folder = argv[1];
  bool written = Write(folder + "/no-exception.dmp", snapshot);

  kvdump::ExceptionSnapshot fault;
  fault.threadId = self;
  fault.record.ExceptionCode = 0xC0000005;  // an invalid write to address 0
  fault.record.ExceptionAddress = snapshot.memory.empty() ? 0 : snapshot.memory.front().start;
  fault.record.NumberParameters = 2;
  fault.record.ExceptionInformation[0] = 1;
  fault.context.ContextFlags = win::CONTEXT_FULL;
  fault.context.Rip = fault.record.ExceptionAddress;
  snapshot.exception = fault;
  written = Write(folder + "/invalid-access.dmp", snapshot) && written;

  kvdump::minidump::AssertionInfo assertion{};
  const std::u16string expression = u"pure virtual function call";
  expression.copy(assertion.expression, expression.size());
  assertion.type = kvdump::minidump::kAssertionPureVirtualCall;
  snapshot.assertion = assertion;
  written = Write(folder + "/pure-call.dmp", snapshot) && written;
  return written ? 0 : 1;
}
