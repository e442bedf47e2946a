// gzip decoding of HTTP answer bodies ("Content-Encoding: gzip") with zlib.
#pragma once

#include <string>
#include <vector>

// True when a Content-Encoding header value names gzip ("gzip" or "x-gzip",
// ignoring case and surrounding blanks).
bool IsGzipEncoding(const std::string& contentEncoding);

// Decompresses a gzip body (one or more concatenated members) into `out`.
// Returns false, with zlib's reason in `error`, for a damaged or cut body.
bool GunzipBody(const std::vector<unsigned char>& compressed, std::string* out, std::string* error);
