// Named events in the machine's state/events.json, events of one process,
// and waiting on kernel objects (events here, mutexes in named_mutex.cpp)
// and processes.
#include "platform/sync.h"

#include <algorithm>
#include <functional>
#include <map>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/processes/host_process.h"
#include "platform/sim/machine/kernel_object.h"
#include "platform/sim/machine/last_error.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/sim/machine/object_holders.h"
#include "platform/process.h"
#include "platform/sim/machine/state_json.h"

namespace platform {

namespace {

using nlohmann::json;

std::filesystem::path EventsFile() { return StateFile("events.json"); }

struct NamedEvent {
  std::wstring name;
  bool set = false;
  bool manualReset = false;
  ObjectHolders holders;
};

using EventTable = std::map<std::wstring, NamedEvent>;  // by name as given

// One small reader and one writer of the state file.
EventTable ParseEvents(const json& doc) {
  EventTable table;
  if (!doc.contains("events") || !doc["events"].is_array()) return table;
  for (const auto& e : doc["events"]) {
    if (!e.is_object()) continue;
    NamedEvent event;
    event.name = Utf8ToWide(e.value("name", std::string()));
    event.set = e.value("set", false);
    event.manualReset = e.value("manualReset", false);
    if (e.contains("holders")) event.holders = ObjectHolders::FromJson(e["holders"]);
    if (!event.name.empty()) table[event.name] = event;
  }
  return table;
}

json SerialiseEvents(const EventTable& table) {
  json list = json::array();
  for (const auto& [name, e] : table) {
    list.push_back({{"name", WideToUtf8(e.name)},
                    {"set", e.set},
                    {"manualReset", e.manualReset},
                    {"holders", e.holders.ToJson()}});
  }
  return {{"events", list}};
}

// An event exists while a running process holds a handle to it.
void Prune(EventTable& table) {
  for (auto it = table.begin(); it != table.end();) {
    it = it->second.holders.DropEnded() ? table.erase(it) : std::next(it);
  }
}

bool ChangeEvents(const std::function<bool(EventTable&)>& change) {
  return ChangeStateTable<EventTable>(EventsFile(), ParseEvents, SerialiseEvents, Prune, change);
}

// An unnamed event: seen by this process only.
struct LocalEvent {
  std::mutex mutex;
  std::condition_variable changed;
  bool set = false;
  bool manualReset = false;
};

}  // namespace

std::vector<EventSummary> ListEvents() {
  EventTable table;
  DecodeStateJson(EventsFile(), [&](const json& doc) { table = ParseEvents(doc); });
  Prune(table);
  std::vector<EventSummary> list;
  for (const auto& [name, e] : table) list.push_back(EventSummary{e.name, e.set, e.manualReset});
  return list;
}

}  // namespace platform

namespace win {

namespace {

struct EventObject : WaitableObject {
  std::wstring name;  // empty for a local event
  DWORD access = EVENT_ALL_ACCESS;
  std::shared_ptr<platform::LocalEvent> local;
  DWORD Wait(DWORD milliseconds) override;
  ~EventObject() override {
    if (name.empty()) return;
    platform::ChangeEvents([&](platform::EventTable& table) {
      platform::HoldNamed(table, name, -1);
      return true;
    });
  }
};

using platform::FailWith;

int Milliseconds(DWORD timeout) {
  return timeout == INFINITE ? platform::kWaitForever : static_cast<int>(std::min<DWORD>(timeout, INT_MAX));
}

DWORD WaitForLocal(platform::LocalEvent& event, DWORD timeout) {
  std::unique_lock<std::mutex> lock(event.mutex);
  auto isSet = [&] { return event.set; };
  if (timeout == INFINITE) {
    event.changed.wait(lock, isSet);
  } else if (!event.changed.wait_for(lock, std::chrono::milliseconds(timeout), isSet)) {
    return WAIT_TIMEOUT;
  }
  if (!event.manualReset) event.set = false;
  return WAIT_OBJECT_0;
}

DWORD WaitForNamed(const std::wstring& name, DWORD timeout) {
  bool signalled = platform::WaitForMachine(
      [&] {
        return platform::ChangeEvents([&](platform::EventTable& table) {
          auto it = table.find(name);
          if (it == table.end() || !it->second.set) return false;
          if (!it->second.manualReset) it->second.set = false;  // this wait takes it
          return true;
        });
      },
      Milliseconds(timeout), {platform::Machine::Current().StateFolder()});
  return signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD WaitForProcessEnd(DWORD id, DWORD timeout) {
  auto record = platform::FindProcess(id);
  if (!record) return FailWith(ERROR_INVALID_HANDLE, WAIT_FAILED);
  bool ended = platform::WaitForMachine(
      [&] {
        auto now = platform::FindProcess(id);
        return !now || !now->running;
      },
      Milliseconds(timeout), {platform::Machine::Current().Root()}, record->hostPid);
  return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD EventObject::Wait(DWORD milliseconds) {
  if (!(access & SYNCHRONIZE)) return FailWith(ERROR_ACCESS_DENIED, WAIT_FAILED);
  if (local) return WaitForLocal(*local, milliseconds);
  return WaitForNamed(name, milliseconds);
}

}  // namespace

HANDLE CreateEventW(const SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, const wchar_t* name) {
  auto* object = new EventObject();
  if (!name || !*name) {
    object->local = std::make_shared<platform::LocalEvent>();
    object->local->set = initialState;
    object->local->manualReset = manualReset;
    SetLastError(ERROR_SUCCESS);
    return platform::RegisterHandle(object);
  }
  if (platform::ShouldFail("CreateEvent", name)) {
    delete object;
    return nullptr;
  }
  object->name = name;
  bool existed = platform::ChangeEvents([&](platform::EventTable& table) {
    auto it = table.find(name);
    bool found = it != table.end();
    if (!found) it = table.emplace(name, platform::NamedEvent{name, initialState != FALSE, manualReset != FALSE, {}}).first;
    it->second.holders.Hold(+1);
    return found;
  });
  HANDLE handle = platform::RegisterHandle(object);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenEventW(DWORD access, BOOL, const std::wstring& name) {
  if (platform::ShouldFail("OpenEvent", name)) return nullptr;
  if (name.empty()) return FailWith(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
  bool found =
      platform::ChangeEvents([&](platform::EventTable& table) { return platform::HoldNamed(table, name, +1); });
  if (!found) return FailWith(ERROR_FILE_NOT_FOUND, HANDLE{nullptr});
  auto* object = new EventObject();
  object->name = name;
  object->access = access;
  return platform::RegisterHandle(object);
}

namespace {

BOOL Signal(HANDLE handle, bool set, const char* operation) {
  auto* event = platform::HandleAs<EventObject>(handle);
  if (!event) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (!(event->access & EVENT_MODIFY_STATE)) return FailWith(ERROR_ACCESS_DENIED, FALSE);
  if (event->local) {
    std::lock_guard<std::mutex> guard(event->local->mutex);
    event->local->set = set;
    event->local->changed.notify_all();
    return TRUE;
  }
  if (platform::ShouldFail(operation, event->name)) return FALSE;
  platform::ChangeEvents([&](platform::EventTable& table) {
    auto it = table.find(event->name);
    if (it != table.end()) it->second.set = set;
    return true;
  });
  return TRUE;
}

}  // namespace

BOOL SetEvent(HANDLE event) { return Signal(event, true, "SetEvent"); }
BOOL ResetEvent(HANDLE event) { return Signal(event, false, "ResetEvent"); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (auto* object = platform::HandleAs<WaitableObject>(handle)) return object->Wait(milliseconds);
  if (handle == GetCurrentProcess()) {
    // A process never sees its own end.
    if (milliseconds == INFINITE) return FailWith(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    Sleep(milliseconds);
    return WAIT_TIMEOUT;
  }
  DWORD id = GetProcessId(handle);
  if (!id) return FailWith(ERROR_INVALID_HANDLE, WAIT_FAILED);
  return WaitForProcessEnd(id, milliseconds);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == INFINITE) {
    while (true) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace win
