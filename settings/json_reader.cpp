// Reading the text of a JSON answer into a value, with the bounds and the
// rules the installer applies to every answer.
#include <cstddef>
#include <utility>
#include <vector>

#include "settings/json_text.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The text as the parser gets it. Carriage return, vertical tab and form
// feed are blanks between tokens and refused inside a string, as a tab is,
// and only a line feed ends a "//" comment: they reach the parser as tabs. A
// NUL is refused everywhere but in a comment, where any character may stand;
// the parser would take it for the end of the text, so it gets another
// control character, which it treats alike.
std::string ParserText(const std::string& text) {
  std::string parserText = text;
  for (char& c : parserText) {
    if (c == '\r' || c == '\v' || c == '\f') {
      c = '\t';
    } else if (c == '\0') {
      c = '\x01';
    }
  }
  return parserText;
}

// The parser's message as the reason of a refusal. It quotes the token it
// stopped in, which may be most of the answer: the reason keeps the first
// kMaxReasonBytes, in ASCII (a byte beyond it as \xHH), so that it is one
// short line that reads the same in any code page.
std::string Reason(const std::string& message) {
  static constexpr std::size_t kMaxReasonBytes = 256;
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string reason;
  for (const char c : message) {
    if (reason.size() >= kMaxReasonBytes) {
      reason += "...";
      break;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      reason.push_back(c);
    } else {
      reason += "\\x";
      reason.push_back(kHexDigits[byte >> 4]);
      reason.push_back(kHexDigits[byte & 0x0F]);
    }
  }
  return reason;
}

// Builds the value as the parser reads it. It stops the parser at the first
// level beyond kMaxJsonNesting, and keeps the first value of a member named
// twice: the value of a later one is read (and must be well-formed) but not
// kept.
class ValueBuilder final : public nlohmann::json_sax<JsonValue> {
 public:
  explicit ValueBuilder(JsonValue* root) : root_(root) {}

  const std::string& Error() const { return error_; }

  bool null() override { return Add(nullptr); }
  bool boolean(bool value) override { return Add(value); }
  bool number_integer(number_integer_t value) override { return Add(value); }
  bool number_unsigned(number_unsigned_t value) override { return Add(value); }
  bool number_float(number_float_t value, const string_t&) override { return Add(value); }
  bool string(string_t& value) override { return Add(std::move(value)); }
  // JSON text holds no binary values; the parser never reports one.
  bool binary(binary_t&) override { return Add(nullptr); }

  bool start_object(std::size_t) override { return Open(JsonValue::object()); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(JsonValue::array()); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    if (skippedLevels_ > 0) return true;
    if (open_.back()->contains(name)) {
      skipNextValue_ = true;
    } else {
      key_ = std::move(name);
    }
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const JsonValue::exception& error) override {
    error_ = Reason(error.what());
    return false;
  }

 private:
  // True when the value read now is not kept: it belongs to a member named
  // before, or lies inside such a member's value.
  bool Skipping() {
    if (skippedLevels_ > 0) return true;
    if (!skipNextValue_) return false;
    skipNextValue_ = false;
    return true;
  }

  bool Add(JsonValue value) {
    if (!Skipping()) Place(std::move(value));
    return true;
  }

  bool Open(JsonValue container) {
    if (++depth_ > kMaxJsonNesting) {
      error_ = "the text nests deeper than " + std::to_string(kMaxJsonNesting) + " levels";
      return false;
    }
    if (Skipping()) {
      ++skippedLevels_;
    } else {
      open_.push_back(Place(std::move(container)));
    }
    return true;
  }

  bool Close() {
    --depth_;
    if (skippedLevels_ > 0) {
      --skippedLevels_;
    } else {
      open_.pop_back();
    }
    return true;
  }

  // Puts a value into the innermost open container (or makes it the whole
  // value) and returns where it now lives. An open container's parent does
  // not grow until the container is closed, so the addresses kept in open_
  // stay valid.
  JsonValue* Place(JsonValue value) {
    if (open_.empty()) {
      *root_ = std::move(value);
      return root_;
    }
    JsonValue& container = *open_.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    return &(container[key_] = std::move(value));
  }

  JsonValue* root_;
  std::vector<JsonValue*> open_;  // the containers being filled, innermost last
  std::string key_;               // the name of the member read next
  int depth_ = 0;                 // containers open, skipped ones included
  int skippedLevels_ = 0;         // containers open inside a skipped value
  bool skipNextValue_ = false;    // the next value is a repeated member's
  std::string error_;
};

}  // namespace

bool ReadJsonText(const std::string& text, JsonValue* value, std::string* error) {
  *value = nullptr;
  if (text.compare(0, sizeof kByteOrderMark - 1, kByteOrderMark) == 0) {
    // The parser would pass over it; the installer never took it as a blank.
    *error = "syntax error at the first character: a byte order mark";
    return false;
  }
  JsonValue read;
  ValueBuilder builder(&read);
  if (!JsonValue::sax_parse(ParserText(text), &builder, JsonValue::input_format_t::json, /*strict=*/true,
                            /*ignore_comments=*/true)) {
    *error = builder.Error().empty() ? "not a JSON text" : builder.Error();
    return false;
  }
  *value = std::move(read);
  return true;
}
