// gzip decoding of HTTP answer bodies with zlib: the installer asks for gzip
// itself and so decodes the answer itself, the same way on every platform.
#include "settings/http_gzip.h"

#include <zlib.h>

#include <cctype>

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

bool GunzipBody(const std::vector<unsigned char>& compressed, std::string* out, std::string* error,
                std::size_t limit) {
  out->clear();
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
      // Another member may follow (concatenated gzip files form one body).
      if (stream.avail_in == 0) break;
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
