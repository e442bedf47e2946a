// Handle counts per process of a named kernel object.
#include "platform/sim/machine/object_holders.h"

#include <algorithm>

namespace platform {

void ObjectHolders::Hold(int delta) {
  const HostProcess self = CurrentHostProcess();
  for (auto& [process, count] : processes) {
    if (process.pid == self.pid && process.start == self.start) {
      count += delta;
      return;
    }
  }
  if (delta > 0) processes.push_back({self, delta});
}

bool ObjectHolders::DropEnded() {
  processes.erase(std::remove_if(processes.begin(), processes.end(),
                                 [](const auto& h) { return h.second <= 0 || !HostProcessRunning(h.first); }),
                  processes.end());
  return processes.empty();
}

nlohmann::json ObjectHolders::ToJson() const {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& [process, count] : processes) {
    list.push_back({{"pid", process.pid}, {"start", process.start}, {"count", count}});
  }
  return list;
}

ObjectHolders ObjectHolders::FromJson(const nlohmann::json& list) {
  ObjectHolders holders;
  if (!list.is_array()) return holders;
  for (const auto& h : list) {
    if (h.is_object()) {
      holders.processes.push_back({HostProcess{h.value("pid", 0), h.value("start", 0LL)}, h.value("count", 0)});
    }
  }
  return holders;
}

}  // namespace platform
