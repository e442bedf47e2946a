// The processes of the machine that hold handles to one named kernel object
// (an event, a mutex), as the object's state file records them: a named
// object exists while one of them still runs.
#pragma once

#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/host_process.h"

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

}  // namespace platform
