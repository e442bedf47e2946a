// The processes of the machine that hold handles to one named kernel object
// (an event, a mutex), as the object's state file records them: a named
// object exists while one of them still runs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/processes/host_process.h"

namespace platform {

struct ObjectHolders {
  std::vector<std::pair<HostProcess, int>> processes;  // process, handle count

  // Adds `delta` handles (negative: closes them) of the calling process.
  void Hold(int delta);
  // Forgets the processes that have ended or hold no handle any more; true
  // when nobody holds the object now.
  bool DropEnded();

  nlohmann::json ToJson() const;
  // Entries that are not objects are skipped.
  static ObjectHolders FromJson(const nlohmann::json& list);
};

// Adds `delta` handles of the calling process to the holders of the object
// `name` of `table` (a map from names to records with `holders`); false when
// the table has no such object.
template <typename Table>
bool HoldNamed(Table& table, const std::wstring& name, int delta) {
  auto it = table.find(name);
  if (it == table.end()) return false;
  it->second.holders.Hold(delta);
  return true;
}

}  // namespace platform
