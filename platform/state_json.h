// The JSON state files of the machine's stand-in system services (service
// manager, named events, windows, devices): read whole, changed under the
// file's exclusive lock, written atomically, so every process of the machine
// sees one consistent version.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

namespace platform {

// The file's document; an empty object when the file is missing or is not
// a JSON object (a damaged file is read as empty, never as garbage).
nlohmann::json ReadStateJson(const std::filesystem::path& file);
// Runs `change` on the document under the exclusive lock; when it returns
// true the document is written back. Returns what `change` returned (false
// also when the file could not be written).
bool ChangeStateJson(const std::filesystem::path& file, const std::function<bool(nlohmann::json&)>& change);
// The file in the machine's state folder.
std::filesystem::path StateFile(const char* name);

}  // namespace platform
