// libFuzzer target for the gzip decoding of HTTP answers: arbitrary bytes as
// a gzip body must inflate within the bound or be refused with a reason,
// never crash, read outside the body or grow past the bound. The first line
// of the input also goes through the Content-Encoding test.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/http_gzip.h"

namespace {

// Small enough that an input that inflates enormously costs little time,
// large enough for every answer of the seed corpus.
constexpr std::size_t kLimit = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  IsGzipEncoding(text.substr(0, text.find('\n')));

  const std::vector<unsigned char> body(data, data + size);
  std::string out;
  std::string error;
  if (GunzipBody(body, &out, &error, kLimit)) {
    if (out.size() > kLimit) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  return 0;
}
