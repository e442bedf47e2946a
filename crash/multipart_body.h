// The body of the crash report's upload: a multipart/form-data request with
// the form fields first and the files after them, as the crash collector
// reads it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace kvdump {

// 27 "-" and the two numbers as 16 uppercase hexadecimal digits.
std::string MultipartBoundary(std::uint32_t first, std::uint32_t second);
// A boundary from two pseudo-random numbers.
std::string RandomMultipartBoundary();

// Builds the body: each field and then each file as a part ("--" boundary
// CRLF, headers, empty line, content, CRLF), then "--" boundary "--" CRLF.
// Field values and file paths are sent as UTF-8; a file part is named by its
// form name and carries the file's full path as its filename. False (with
// the path in `error`) when a file cannot be read; the body is then empty.
bool BuildMultipartBody(const std::string& boundary, const std::map<std::wstring, std::wstring>& fields,
                        const std::map<std::wstring, std::wstring>& files, std::string* body,
                        std::string* error = nullptr);

}  // namespace kvdump
