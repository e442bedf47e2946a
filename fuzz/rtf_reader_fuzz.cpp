// libFuzzer target for the licence page's RTF reader: arbitrary bytes as an
// RTF document must give a document, never a crash, a hang or an
// out-of-bounds read. Not part of the normal build; build and run it from the
// source folder with
//
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//     fuzz/rtf_reader_fuzz.cpp ui/rtf_reader.cpp build/default/libbvl_platform.a \
//     -lcrypto -lssl -o rtf_reader_fuzz
//   ./rtf_reader_fuzz -max_len=65536 corpus/
//
// Seed the corpus with resources/licence_ko.rtf.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ui/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rtf::Document document = rtf::ReadRtf(std::string_view(reinterpret_cast<const char*>(data), size));
  // Every paragraph's text is bounded by the input: one character per byte at most.
  std::size_t characters = 0;
  for (const rtf::Paragraph& paragraph : document.paragraphs) characters += paragraph.Text().size();
  if (characters > size + 1) __builtin_trap();
  return 0;
}
