// libFuzzer target for the project's minidump reader: arbitrary bytes as a
// dump must give a summary or an error, never a crash or a read outside
// them. Not part of the normal build; build and run it from the source
// folder with
//
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//     fuzz/minidump_reader_fuzz.cpp crash/minidump_reader.cpp crash/minidump_summary.cpp \
//     build/default/libbvl_platform.a -lssl -lcrypto -ldl -o minidump_reader_fuzz
//   ./minidump_reader_fuzz -max_len=65536 corpus/
//
// Seed the corpus with dumps the crash tests or tools/demo.sh --crash leave.
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
