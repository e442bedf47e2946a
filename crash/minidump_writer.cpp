// The order of the streams in a dump and the dump file itself.
#include "crash/minidump_writer.h"

#include <cstdio>

#include "crash/minidump_stream_writers.h"
#include "platform/files.h"

namespace kvdump {

std::string WriteMinidump(const CrashSnapshot& snapshot) {
  MinidumpLayout layout(7);
  layout.AddStream(minidump::kSystemInfoStream, WriteSystemInfoStream(layout, snapshot.system));
  layout.AddStream(minidump::kMiscInfoStream, WriteMiscInfoStream(layout, snapshot));
  if (snapshot.exception) layout.AddStream(minidump::kExceptionStream, WriteExceptionStream(layout, *snapshot.exception));
  PlacedMemory stacks;
  layout.AddStream(minidump::kThreadListStream, WriteThreadListStream(layout, snapshot.threads, &stacks));
  layout.AddStream(minidump::kModuleListStream, WriteModuleListStream(layout, snapshot.modules));
  layout.AddStream(minidump::kMemoryListStream, WriteMemoryListStream(layout, stacks, snapshot.memory));
  if (snapshot.assertion) {
    layout.AddStream(minidump::kAssertionInfoStream, WriteAssertionInfoStream(layout, *snapshot.assertion));
  }
  return layout.Finish(snapshot.dumpTime);
}

bool WriteMinidumpFile(const std::wstring& path, const CrashSnapshot& snapshot) {
  if (win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES) return false;
  const std::string bytes = WriteMinidump(snapshot);
  std::FILE* file = win::_wfopen(path, L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace kvdump
