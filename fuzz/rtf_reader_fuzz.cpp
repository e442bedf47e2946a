// libFuzzer target for the licence page's RTF reader: arbitrary bytes as an
// RTF document must give a document, never a crash, a hang or an
// out-of-bounds read. Its seeds are the licences of resources/ and of the
// resource table tests.
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
