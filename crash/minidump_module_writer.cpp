// The module list: each loaded module's address range, Windows path and
// build id (as a CodeView record of the ELF kind).
#include "crash/minidump_stream_writers.h"

#include "platform/little_endian.h"

namespace kvdump {

minidump::LocationDescriptor WriteModuleListStream(MinidumpLayout& layout,
                                                   const std::vector<platform::ModuleSnapshot>& modules) {
  std::vector<minidump::Module> entries;
  for (const platform::ModuleSnapshot& module : modules) {
    minidump::Module entry{};
    entry.BaseOfImage = module.base;
    entry.SizeOfImage = static_cast<std::uint32_t>(module.size);
    entry.TimeDateStamp = module.timeDateStamp;
    entry.ModuleNameRva = layout.AppendString(module.path);
    if (!module.buildId.empty()) {
      std::string record(4, '\0');
      platform::Put32(record, 0, minidump::kCvSignatureElf);
      record += module.buildId;
      entry.CvRecord = layout.Append(record.data(), record.size());
    }
    entries.push_back(entry);
  }
  const auto count = static_cast<std::uint32_t>(entries.size());
  std::string block(reinterpret_cast<const char*>(&count), sizeof(count));
  block.append(reinterpret_cast<const char*>(entries.data()), entries.size() * sizeof(minidump::Module));
  return layout.Append(block.data(), block.size());
}

}  // namespace kvdump
