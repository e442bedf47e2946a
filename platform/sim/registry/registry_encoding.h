// How registry value data is written in registry.json, so that the file stays
// proportional to the bytes written: the data of a string value as its text
// (UTF-8 in a JSON string) when the bytes are well-formed UTF-16LE and the
// text is not much larger than they are, any other data as base64.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The UTF-8 form of UTF-16LE `bytes`; false for an odd length or an unpaired
// surrogate (which UTF-8 cannot carry).
bool Utf16LeToUtf8(std::string_view bytes, std::string* utf8);
// The UTF-16LE bytes of well-formed UTF-8 (as the JSON reader hands it over).
std::string Utf8ToUtf16Le(std::string_view utf8);

std::string EncodeBase64(std::string_view bytes);
// Strict: whole groups of four, padding only at the end; false otherwise.
bool DecodeBase64(std::string_view text, std::string* bytes);

// Appends `utf8` as a JSON string with its quotes, escaping only what JSON
// requires (quote, backslash, control characters).
void AppendJsonString(std::string* out, std::string_view utf8);

}  // namespace platform
