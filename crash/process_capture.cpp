// Capturing the crashed process through the platform's process snapshot.
#include "crash/process_capture.h"

#include <ctime>

#include "platform/process.h"
#include "platform/version.h"

namespace kvdump {
namespace {

// Bytes of code kept on each side of the faulting instruction.
constexpr std::uint64_t kCodeAroundFault = 128;

void AddCodeAroundFault(std::uint64_t address, CrashSnapshot* snapshot) {
  MemorySnapshot code;
  const std::uint64_t start = address > kCodeAroundFault ? address - kCodeAroundFault : 0;
  if (platform::ReadOwnMemory(start, 2 * kCodeAroundFault, &code.bytes)) {
    code.start = start;
  } else if (platform::ReadOwnMemory(address, kCodeAroundFault, &code.bytes)) {
    code.start = address;
  } else {
    return;  // the fault is a jump to nowhere: there is no code to keep
  }
  snapshot->memory.push_back(std::move(code));
}

}  // namespace

SystemSnapshot DescribeSystem() {
  SystemSnapshot system;
  // The dump describes the processor whose registers it holds: that of the
  // process (x86 for the 32-bit program, also under WOW64), whatever the
  // machine's own.
  system.processorArchitecture = platform::kContextProcessorArchitecture;
  win::SYSTEM_INFO info;
  win::GetNativeSystemInfo(&info);
  system.numberOfProcessors = static_cast<std::uint8_t>(info.dwNumberOfProcessors > 255 ? 255 : info.dwNumberOfProcessors);
  // The dump records the system's own version: Windows 10 is 10.0 even
  // where the version queries of the installer see 6.2.
  win::OSVERSIONINFOEXW version;
  if (win::RtlGetVersion(&version) != win::STATUS_SUCCESS) return system;
  system.productType = version.wProductType;
  system.majorVersion = version.dwMajorVersion;
  system.minorVersion = version.dwMinorVersion;
  system.buildNumber = version.dwBuildNumber;
  system.suiteMask = version.wSuiteMask;
  system.servicePack = version.szCSDVersion;
  return system;
}

CrashSnapshot CaptureCrash(win::DWORD requestingThread, const win::EXCEPTION_POINTERS* exception,
                           const minidump::AssertionInfo* assertion) {
  CrashSnapshot snapshot;
  snapshot.system = DescribeSystem();
  win::CONTEXT context{};
  if (exception != nullptr && exception->ContextRecord != nullptr) context = *exception->ContextRecord;
  platform::ProcessSnapshot process = platform::CaptureProcess(requestingThread, context, kStackBytesPerThread);
  if (exception != nullptr && exception->ExceptionRecord != nullptr) {
    ExceptionSnapshot fault;
    fault.threadId = requestingThread;
    fault.record = *exception->ExceptionRecord;
    fault.context = context;
    snapshot.exception = fault;
    AddCodeAroundFault(fault.record.ExceptionAddress, &snapshot);
  }
  if (assertion != nullptr) snapshot.assertion = *assertion;
  snapshot.threads = std::move(process.threads);
  snapshot.modules = std::move(process.modules);
  snapshot.processId = win::GetCurrentProcessId();
  snapshot.processCreateTime = process.createTime;
  snapshot.processUserTime = process.userSeconds;
  snapshot.processKernelTime = process.kernelSeconds;
  snapshot.dumpTime = static_cast<std::uint32_t>(std::time(nullptr));
  return snapshot;
}

}  // namespace kvdump
