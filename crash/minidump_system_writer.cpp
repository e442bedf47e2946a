// The system information and miscellaneous information streams.
#include "crash/minidump_stream_writers.h"

namespace kvdump {

minidump::LocationDescriptor WriteSystemInfoStream(MinidumpLayout& layout, const SystemSnapshot& system) {
  minidump::SystemInfo info{};
  info.ProcessorArchitecture = system.processorArchitecture;
  info.ProcessorLevel = system.processorLevel;
  info.ProcessorRevision = system.processorRevision;
  info.NumberOfProcessors = system.numberOfProcessors;
  info.ProductType = system.productType;
  info.MajorVersion = system.majorVersion;
  info.MinorVersion = system.minorVersion;
  info.BuildNumber = system.buildNumber;
  info.PlatformId = minidump::kPlatformWin32Nt;
  info.SuiteMask = system.suiteMask;
  const minidump::LocationDescriptor location = layout.AppendRecord(info);
  info.CSDVersionRva = layout.AppendString(system.servicePack);
  layout.Patch(location.Rva, &info, sizeof(info));
  return location;
}

minidump::LocationDescriptor WriteMiscInfoStream(MinidumpLayout& layout, const CrashSnapshot& snapshot) {
  minidump::MiscInfo info{};
  info.SizeOfInfo = sizeof(info);
  info.Flags1 = minidump::kMiscProcessId | minidump::kMiscProcessTimes;
  info.ProcessId = snapshot.processId;
  info.ProcessCreateTime = snapshot.processCreateTime;
  info.ProcessUserTime = snapshot.processUserTime;
  info.ProcessKernelTime = snapshot.processKernelTime;
  return layout.AppendRecord(info);
}

minidump::LocationDescriptor WriteAssertionInfoStream(MinidumpLayout& layout,
                                                      const minidump::AssertionInfo& assertion) {
  return layout.AppendRecord(assertion);
}

}  // namespace kvdump
