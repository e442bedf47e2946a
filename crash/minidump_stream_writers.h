// One writer per minidump stream: each lays out exactly its documented
// records in the file and returns the stream's location.
#pragma once

#include "crash/crash_snapshot.h"
#include "crash/minidump_layout.h"

namespace kvdump {

// The memory ranges of the thread stacks, as the thread list placed them;
// the memory list names them again.
using PlacedMemory = std::vector<minidump::MemoryDescriptor>;

minidump::LocationDescriptor WriteSystemInfoStream(MinidumpLayout& layout, const SystemSnapshot& system);
minidump::LocationDescriptor WriteMiscInfoStream(MinidumpLayout& layout, const CrashSnapshot& snapshot);
minidump::LocationDescriptor WriteExceptionStream(MinidumpLayout& layout, const ExceptionSnapshot& exception);
minidump::LocationDescriptor WriteThreadListStream(MinidumpLayout& layout,
                                                   const std::vector<platform::ThreadSnapshot>& threads,
                                                   PlacedMemory* stacks);
minidump::LocationDescriptor WriteModuleListStream(MinidumpLayout& layout,
                                                   const std::vector<platform::ModuleSnapshot>& modules);
minidump::LocationDescriptor WriteMemoryListStream(MinidumpLayout& layout, const PlacedMemory& stacks,
                                                   const std::vector<MemorySnapshot>& memory);
minidump::LocationDescriptor WriteAssertionInfoStream(MinidumpLayout& layout,
                                                      const minidump::AssertionInfo& assertion);

}  // namespace kvdump
