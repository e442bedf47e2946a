// The JSON state files of the machine's stand-in system services (service
// manager, named events and mutexes, windows, devices): read whole, changed under the
// file's exclusive lock, written atomically, so every process of the machine
// sees one consistent version.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

namespace platform {

// The file's document; an empty object when the file is missing. A file that
// cannot be read, is not a JSON object, nests too deeply or repeats a member
// stops the program with a report naming it (platform/sim/machine/machine_stop.h), and is
// left as it is.
nlohmann::json ReadStateJson(const std::filesystem::path& file);
// Hands the file's document to `decode`; a member of the wrong type (the JSON
// library throws) stops the program as a damaged file.
void DecodeStateJson(const std::filesystem::path& file, const std::function<void(const nlohmann::json&)>& decode);
// Runs `change` on the document under the exclusive lock (a member of the
// wrong type stops the program, as above); when it returns true the
// document is written back. Returns what `change` returned (false
// also when the file could not be written).
bool ChangeStateJson(const std::filesystem::path& file, const std::function<bool(nlohmann::json&)>& change);
// The table kept in `file` changed by `change`: `parse` reads it, `prune`
// drops what belonged to processes that ended, `serialise` writes it back,
// and only when it differs, since every write wakes every waiter of the
// machine. Returns what `change` returned.
template <typename Table>
bool ChangeStateTable(const std::filesystem::path& file, Table (*parse)(const nlohmann::json&),
                      nlohmann::json (*serialise)(const Table&), void (*prune)(Table&),
                      const std::function<bool(Table&)>& change) {
  bool result = false;
  ChangeStateJson(file, [&](nlohmann::json& doc) {
    Table table = parse(doc);
    prune(table);
    result = change(table);
    nlohmann::json after = serialise(table);
    if (after == doc) return false;
    doc = std::move(after);
    return true;
  });
  return result;
}
// The file in the machine's state folder.
std::filesystem::path StateFile(const char* name);

}  // namespace platform
