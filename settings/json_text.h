// JSON values of the HTTP layer: the texts of the agent server's answers as
// they are read, and request bodies as they are written.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

// A JSON value. An object keeps one value per member name, its members in the
// byte order of their names.
using JsonValue = nlohmann::json;

// The deepest an answer may nest, arrays and objects together. A deeper text
// is refused before it costs memory for the levels beyond.
constexpr int kMaxJsonNesting = 128;

// Reads `text` (UTF-8) as one JSON value, with blanks (JSON's four, vertical
// tab and form feed) and comments ("/* */" and "//" to the end of the line)
// around its tokens. A member named twice keeps its first value. Returns
// false, *value null and the reason in *error when the text is no such value:
// malformed, nested beyond kMaxJsonNesting, a number beyond the range of a
// double, a NUL or a control character outside a comment, a byte order mark.
bool ReadJsonText(const std::string& text, JsonValue* value, std::string* error);

// The compact text of `value` as a request body carries it: no blanks,
// members in the byte order of their names, a control character in a string
// escaped as \b, \f, \n, \r, \t or \u00XX (upper-case hexadecimal digits),
// every other byte as it stands; an integer in full, any other number with
// 17 significant digits as printf's "%.17g" writes it in the C locale.
std::string WriteJsonText(const JsonValue& value);
