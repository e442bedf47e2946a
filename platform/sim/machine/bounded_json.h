// Parsing JSON text into a document with a bound on nesting, without
// recursion and without exceptions, for files whose writer may not be us.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace platform {

// The document of `text`: strict JSON (one value, UTF-8 checked, no
// comments), arrays and objects nested at most `maxNesting` deep, no member
// name twice in one object. nullopt with a message in `problem` otherwise.
std::optional<nlohmann::json> ParseBoundedJson(std::string_view text, int maxNesting, std::string* problem);

}  // namespace platform
