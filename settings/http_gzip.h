// gzip decoding of HTTP answer bodies ("Content-Encoding: gzip") with zlib.
#pragma once

#include <string>
#include <vector>

// True when a Content-Encoding header value names gzip ("gzip" or "x-gzip",
// ignoring case and surrounding blanks).
bool IsGzipEncoding(const std::string& contentEncoding);

// The most text a compressed JSON answer may expand to: the agent server's
// answers are a few kilobytes, and a body that inflates beyond this is
// refused rather than allowed to exhaust the installer's memory.
constexpr std::size_t kMaxGunzippedBody = 64u << 20;

// Decompresses a gzip body (one or more concatenated members) into `out`;
// padding or other bytes after a complete member that start no member are
// ignored, as gzip ignores them. Returns false, with the reason in `error`,
// for a damaged or cut member and for a body that would expand beyond
// `limit` bytes.
bool GunzipBody(const std::vector<unsigned char>& compressed, std::string* out, std::string* error,
                std::size_t limit = kMaxGunzippedBody);
