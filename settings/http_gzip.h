// gzip decoding of HTTP answer bodies ("Content-Encoding: gzip") with zlib.
#pragma once

#include <string>
#include <vector>

// True when a Content-Encoding header value names gzip ("gzip" or "x-gzip",
// ignoring case and surrounding blanks).
bool IsGzipEncoding(const std::string& contentEncoding);

// Decompresses a gzip body (one or more concatenated members) into `out`;
// padding or other bytes after a complete member that start no member are
// ignored, as gzip ignores them. Returns false, with the reason in `error`,
// for a damaged or cut member and for a body that would expand beyond
// `limit` bytes.
bool GunzipBody(const std::vector<unsigned char>& compressed, std::string* out, std::string* error,
                std::size_t limit);
