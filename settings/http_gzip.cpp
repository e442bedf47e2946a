// gzip decoding of HTTP answer bodies with zlib: the installer asks for gzip
// itself and so decodes the answer itself, the same way on every platform.
#include "settings/http_gzip.h"

#include <zlib.h>

#include <cctype>
#include <limits>

bool IsGzipEncoding(const std::string& contentEncoding) {
  std::size_t first = contentEncoding.find_first_not_of(" \t");
  std::size_t last = contentEncoding.find_last_not_of(" \t");
  if (first == std::string::npos) return false;
  std::string value;
  for (std::size_t i = first; i <= last; ++i) {
    value += static_cast<char>(std::tolower(static_cast<unsigned char>(contentEncoding[i])));
  }
  return value == "gzip" || value == "x-gzip";
}

namespace {

// True when the bytes from `at` on can start another gzip member (its two
// magic bytes, or the first of them at the very end).
bool StartsMember(const std::vector<unsigned char>& body, std::size_t at) {
  if (at >= body.size() || body[at] != 0x1f) return false;
  return at + 1 == body.size() || body[at + 1] == 0x8b;
}

}  // namespace

bool GunzipBody(const std::vector<unsigned char>& compressed, std::string* out, std::string* error,
                std::size_t limit) {
  out->clear();
  if (compressed.size() > std::numeric_limits<uInt>::max()) {
    if (error) *error = "gzip answer too large to decode";
    return false;
  }
  z_stream stream{};
  // 16 + MAX_WBITS: expect the gzip wrapper, not raw zlib.
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    if (error) *error = "inflateInit2 failed";
    return false;
  }
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());
  unsigned char chunk[64 * 1024];
  int result = Z_OK;
  bool ended = false;
  while (true) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    const std::size_t produced = sizeof chunk - stream.avail_out;
    if (produced > limit - out->size()) {
      if (error) *error = "gzip answer expands beyond " + std::to_string(limit) + " bytes";
      inflateEnd(&stream);
      out->clear();
      return false;
    }
    out->append(reinterpret_cast<const char*>(chunk), produced);
    if (result == Z_STREAM_END) {
      ended = true;
      // As gzip does: another member goes on the text (concatenated gzip
      // files form one body); zero padding or any other bytes after a
      // complete member are ignored.
      const std::size_t next = compressed.size() - stream.avail_in;
      if (!StartsMember(compressed, next)) break;
      if (inflateReset(&stream) != Z_OK) break;
      ended = false;
      continue;
    }
    if (result == Z_OK) continue;
    // Z_BUF_ERROR with no input left: the body ended inside a member.
    break;
  }
  if (!ended && error) {
    *error = stream.msg ? stream.msg : (result == Z_BUF_ERROR ? "unexpected end of gzip data" : "gzip data damaged");
  }
  inflateEnd(&stream);
  if (!ended) out->clear();
  return ended;
}
