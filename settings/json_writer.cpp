// Writing a JSON value as the compact text of a request body.
#include <charconv>
#include <cstdint>

#include "settings/json_text.h"

namespace {

void WriteString(const std::string& text, std::string* out) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  out->push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
          *out += "\\u00";
          out->push_back(kHexDigits[byte >> 4]);
          out->push_back(kHexDigits[byte & 0x0F]);
        } else {
          // Other bytes, non-ASCII ones and DEL included, go out as they are.
          out->push_back(c);
        }
      }
    }
  }
  out->push_back('"');
}

// "%.17g" without the C library's locale: the same digits whatever the
// process's numeric locale says.
void WriteDouble(double number, std::string* out) {
  char digits[32];
  const auto written = std::to_chars(digits, digits + sizeof digits, number, std::chars_format::general, 17);
  out->append(digits, written.ptr);
}

void Write(const JsonValue& value, std::string* out) {
  switch (value.type()) {
    case JsonValue::value_t::object: {
      out->push_back('{');
      bool first = true;
      for (const auto& member : value.items()) {
        if (!first) out->push_back(',');
        first = false;
        WriteString(member.key(), out);
        out->push_back(':');
        Write(member.value(), out);
      }
      out->push_back('}');
      return;
    }
    case JsonValue::value_t::array: {
      out->push_back('[');
      bool first = true;
      for (const JsonValue& element : value) {
        if (!first) out->push_back(',');
        first = false;
        Write(element, out);
      }
      out->push_back(']');
      return;
    }
    case JsonValue::value_t::string: WriteString(value.get_ref<const std::string&>(), out); return;
    case JsonValue::value_t::boolean: *out += value.get<bool>() ? "true" : "false"; return;
    case JsonValue::value_t::number_integer: *out += std::to_string(value.get<std::int64_t>()); return;
    case JsonValue::value_t::number_unsigned: *out += std::to_string(value.get<std::uint64_t>()); return;
    case JsonValue::value_t::number_float: WriteDouble(value.get<double>(), out); return;
    // Null, and the library's kinds that no JSON text holds (binary, discarded).
    default: *out += "null"; return;
  }
}

}  // namespace

std::string WriteJsonText(const JsonValue& value) {
  std::string text;
  Write(value, &text);
  return text;
}
