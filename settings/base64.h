// Base64 text of binary data: the lenient decoder the installer uses for
// values it reads back, and the standard encoder for values it writes.
#pragma once

#include <cstddef>
#include <string>

// Decodes base64 text into `output`. Characters outside the base64 alphabet
// ("=", spaces, line breaks, anything else) are skipped; the input ends at
// `length` or at a NUL found where a new group of four characters would start.
// A trailing group of k characters gives its first 6k/8 whole bytes.
// `*outputSize` holds the capacity of `output` on entry and the number of
// bytes written on return. Returns false only when an argument is missing or
// the output does not fit; malformed text never fails.
bool Base64Decode(const char* text, std::size_t length, unsigned char* output, std::size_t* outputSize);

// Standard base64 ("A-Za-z0-9+/", "=" padding) of `length` bytes.
std::string Base64Encode(const unsigned char* bytes, std::size_t length);
