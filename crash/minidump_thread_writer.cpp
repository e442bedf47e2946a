// The thread list and the memory list: each thread's registers and stack
// memory, and the list of every memory range in the file.
#include "crash/minidump_stream_writers.h"

namespace kvdump {

minidump::LocationDescriptor WriteThreadListStream(MinidumpLayout& layout,
                                                   const std::vector<platform::ThreadSnapshot>& threads,
                                                   PlacedMemory* stacks) {
  std::vector<minidump::Thread> entries;
  for (const platform::ThreadSnapshot& thread : threads) {
    minidump::Thread entry{};
    entry.ThreadId = thread.threadId;
    win::CONTEXT context = thread.context;
    if (!thread.hasContext) context.ContextFlags = platform::kContextProcessorFlag;  // no registers known
    entry.ThreadContext = layout.AppendRecord(context);
    entry.Stack.StartOfMemoryRange = thread.stackStart;
    entry.Stack.Memory = layout.Append(thread.stack.data(), thread.stack.size());
    if (!thread.stack.empty()) stacks->push_back(entry.Stack);
    entries.push_back(entry);
  }
  const auto count = static_cast<std::uint32_t>(entries.size());
  std::string block(reinterpret_cast<const char*>(&count), sizeof(count));
  block.append(reinterpret_cast<const char*>(entries.data()), entries.size() * sizeof(minidump::Thread));
  return layout.Append(block.data(), block.size());
}

minidump::LocationDescriptor WriteMemoryListStream(MinidumpLayout& layout, const PlacedMemory& stacks,
                                                   const std::vector<MemorySnapshot>& memory) {
  PlacedMemory ranges = stacks;
  for (const MemorySnapshot& range : memory) {
    minidump::MemoryDescriptor descriptor{};
    descriptor.StartOfMemoryRange = range.start;
    descriptor.Memory = layout.Append(range.bytes.data(), range.bytes.size());
    ranges.push_back(descriptor);
  }
  const auto count = static_cast<std::uint32_t>(ranges.size());
  std::string block(reinterpret_cast<const char*>(&count), sizeof(count));
  block.append(reinterpret_cast<const char*>(ranges.data()), ranges.size() * sizeof(minidump::MemoryDescriptor));
  return layout.Append(block.data(), block.size());
}

}  // namespace kvdump
