// A document builder over nlohmann's SAX parser that stops at the first
// nesting beyond the bound or repeated member name.
#include "platform/sim/machine/bounded_json.h"

#include <vector>

namespace platform {

namespace {

using json = nlohmann::json;

class BoundedBuilder : public nlohmann::json_sax<json> {
 public:
  explicit BoundedBuilder(int maxNesting) : maxNesting_(maxNesting) {}

  bool null() override { return Put(json(nullptr)); }
  bool boolean(bool value) override { return Put(json(value)); }
  bool number_integer(number_integer_t value) override { return Put(json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Put(json(value)); }
  bool number_float(number_float_t value, const string_t&) override { return Put(json(value)); }
  // The lexer starts every token afresh, so a string can be moved out (a
  // registry value may be a hundred megabytes).
  bool string(string_t& value) override { return Put(json(std::move(value))); }
  bool binary(binary_t& value) override { return Put(json::binary(std::move(value))); }
  bool key(string_t& name) override {
    key_ = std::move(name);
    return true;
  }
  bool start_object(std::size_t) override { return Open(json::object()); }
  bool start_array(std::size_t) override { return Open(json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
    // "[json.exception.parse_error.101] parse error at line 1, column 3: ..." without its tag.
    std::string text = error.what();
    std::size_t tagEnd = text.find("] ");
    problem_ = "not JSON: " + (tagEnd == std::string::npos ? text : text.substr(tagEnd + 2));
    return false;
  }

  json& Root() { return root_; }
  const std::string& Problem() const { return problem_; }

 private:
  bool Open(json container) {
    if (static_cast<int>(open_.size()) >= maxNesting_) {
      problem_ = "nested deeper than " + std::to_string(maxNesting_) + " levels";
      return false;
    }
    json* placed = Place(std::move(container));
    if (!placed) return false;
    open_.push_back(placed);
    return true;
  }

  bool Close() {
    open_.pop_back();
    return true;
  }

  bool Put(json value) { return Place(std::move(value)) != nullptr; }

  // Stores `value` in the innermost open container (or as the root). The
  // containers still open are not moved by this: only the innermost grows.
  json* Place(json value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    json& parent = *open_.back();
    if (parent.is_array()) {
      parent.get_ref<json::array_t&>().push_back(std::move(value));
      return &parent.get_ref<json::array_t&>().back();
    }
    auto [it, inserted] = parent.get_ref<json::object_t&>().emplace(std::move(key_), std::move(value));
    if (!inserted) {
      problem_ = "the member \"" + it->first + "\" appears twice in one object";
      return nullptr;
    }
    return &it->second;
  }

  int maxNesting_;
  json root_;
  std::vector<json*> open_;
  std::string key_;
  std::string problem_;
};

}  // namespace

std::optional<json> ParseBoundedJson(std::string_view text, int maxNesting, std::string* problem) {
  BoundedBuilder builder(maxNesting);
  bool parsed = json::sax_parse(text.begin(), text.end(), &builder, json::input_format_t::json, true, false);
  if (!parsed || !builder.Problem().empty()) {
    if (problem) *problem = builder.Problem().empty() ? "not JSON" : builder.Problem();
    return std::nullopt;
  }
  return std::move(builder.Root());
}

}  // namespace platform
