// libFuzzer target for the project's minidump reader: arbitrary bytes as a
// dump must give a summary or an error, never a crash or a read outside
// them. Its seeds are dumps the crash reporter's writer makes of a running
// process (make_seed_dump.cpp).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crash/minidump_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kvdump::MinidumpSummary summary;
  std::string error;
  if (kvdump::ReadMinidump(std::string_view(reinterpret_cast<const char*>(data), size), &summary, &error)) {
    kvdump::FormatMinidumpSummary(summary);
  }
  return 0;
}
