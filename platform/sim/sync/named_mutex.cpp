// Mutexes in the machine's state/mutexes.json: which thread of which process
// owns each, how many waits of that thread took it, and whether its owner
// ended without releasing it. A mutex without a name is kept there too, under
// a name of its process that no program can ask for.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/kernel_object.h"
#include "platform/sim/machine/last_error.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/sim/machine/object_holders.h"
#include "platform/process.h"
#include "platform/sim/machine/state_json.h"
#include "platform/sync.h"

namespace platform {

namespace {

using nlohmann::json;

// Names of mutexes created without one begin with this control character,
// which no name a program passes begins with.
constexpr wchar_t kUnnamedMark = L'\x01';

std::filesystem::path MutexesFile() { return StateFile("mutexes.json"); }

// The thread that owns a mutex.
struct MutexOwner {
  HostProcess process;
  long long thread = 0;      // host thread id
  win::DWORD processId = 0;  // the process's id on the machine, for inspection

  bool SameThread(const MutexOwner& other) const {
    return process.pid == other.process.pid && process.start == other.process.start && thread == other.thread;
  }
};

struct NamedMutex {
  std::wstring name;
  std::optional<MutexOwner> owner;
  int count = 0;  // waits of the owner that took it and were not released yet
  bool abandoned = false;
  ObjectHolders holders;
};

using MutexTable = std::map<std::wstring, NamedMutex>;  // by name as given

MutexOwner CallingThread() {
  MutexOwner self;
  self.process = CurrentHostProcess();
  self.thread = static_cast<long long>(::syscall(SYS_gettid));
  self.processId = CurrentProcessRecord().id;
  return self;
}

// A thread still runs while its task is listed and is not a zombie.
bool ThreadRunning(const MutexOwner& owner) {
  if (!HostProcessRunning(owner.process)) return false;
  std::ifstream in("/proc/" + std::to_string(owner.process.pid) + "/task/" + std::to_string(owner.thread) + "/stat");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = content.rfind(')');
  if (close == std::string::npos || close + 2 >= content.size()) return false;
  const char state = content[close + 2];
  return state != 'Z' && state != 'X';
}

MutexTable ParseMutexes(const json& doc) {
  MutexTable table;
  if (!doc.contains("mutexes") || !doc["mutexes"].is_array()) return table;
  for (const auto& m : doc["mutexes"]) {
    if (!m.is_object()) continue;
    NamedMutex mutex;
    mutex.name = Utf8ToWide(m.value("name", std::string()));
    if (m.contains("owner") && m["owner"].is_object()) {
      const json& o = m["owner"];
      mutex.owner = MutexOwner{HostProcess{o.value("pid", 0), o.value("start", 0LL)}, o.value("thread", 0LL),
                               o.value("process", win::DWORD{0})};
    }
    mutex.count = m.value("count", 0);
    mutex.abandoned = m.value("abandoned", false);
    if (m.contains("holders")) mutex.holders = ObjectHolders::FromJson(m["holders"]);
    if (!mutex.name.empty()) table[mutex.name] = mutex;
  }
  return table;
}

json SerialiseMutexes(const MutexTable& table) {
  json list = json::array();
  for (const auto& [name, m] : table) {
    json entry = {{"name", WideToUtf8(m.name)},
                  {"count", m.count},
                  {"abandoned", m.abandoned},
                  {"holders", m.holders.ToJson()}};
    if (m.owner) {
      entry["owner"] = {{"pid", m.owner->process.pid},
                        {"start", m.owner->process.start},
                        {"thread", m.owner->thread},
                        {"process", m.owner->processId}};
    }
    list.push_back(entry);
  }
  return {{"mutexes", list}};
}

// A mutex whose owning thread has ended is abandoned: free, and the next wait
// that takes it learns so. A mutex exists while a running process holds a
// handle to it.
void Prune(MutexTable& table) {
  for (auto it = table.begin(); it != table.end();) {
    NamedMutex& mutex = it->second;
    if (mutex.owner && !ThreadRunning(*mutex.owner)) {
      mutex.owner.reset();
      mutex.count = 0;
      mutex.abandoned = true;
    }
    it = mutex.holders.DropEnded() ? table.erase(it) : std::next(it);
  }
}

bool ChangeMutexes(const std::function<bool(MutexTable&)>& change) {
  return ChangeStateTable<MutexTable>(MutexesFile(), ParseMutexes, SerialiseMutexes, Prune, change);
}

std::wstring UnnamedMutexName() {
  static std::atomic<unsigned> counter{0};
  const HostProcess self = CurrentHostProcess();
  return std::wstring(1, kUnnamedMark) + std::to_wstring(self.pid) + L"." + std::to_wstring(self.start) + L"." +
         std::to_wstring(++counter);
}

}  // namespace

std::vector<MutexSummary> ListMutexes() {
  MutexTable table;
  DecodeStateJson(MutexesFile(), [&](const json& doc) { table = ParseMutexes(doc); });
  Prune(table);
  std::vector<MutexSummary> list;
  for (const auto& [name, m] : table) {
    if (name[0] == kUnnamedMark) continue;
    list.push_back(MutexSummary{m.name, m.owner.has_value(), m.owner ? m.owner->processId : 0, m.abandoned});
  }
  return list;
}

}  // namespace platform

namespace win {

namespace {

struct MutexObject : WaitableObject {
  std::wstring name;
  DWORD access = MUTEX_ALL_ACCESS;
  DWORD Wait(DWORD milliseconds) override;
  ~MutexObject() override {
    platform::ChangeMutexes([&](platform::MutexTable& table) {
      platform::HoldNamed(table, name, -1);
      return true;
    });
  }
};

using platform::FailWith;

DWORD MutexObject::Wait(DWORD milliseconds) {
  if (!(access & SYNCHRONIZE)) return FailWith(ERROR_ACCESS_DENIED, WAIT_FAILED);
  const platform::MutexOwner self = platform::CallingThread();
  DWORD result = WAIT_TIMEOUT;
  auto take = [&] {
    return platform::ChangeMutexes([&](platform::MutexTable& table) {
      auto it = table.find(name);
      if (it == table.end()) {
        // Gone from the machine's state although this handle is open.
        result = WAIT_FAILED;
        return true;
      }
      platform::NamedMutex& mutex = it->second;
      if (mutex.owner && !mutex.owner->SameThread(self)) return false;
      if (!mutex.owner) mutex.owner = self;
      ++mutex.count;
      result = mutex.abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
      mutex.abandoned = false;
      return true;
    });
  };
  const int timeout = milliseconds == INFINITE ? platform::kWaitForever
                                               : static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX));
  // A release rewrites the state file and wakes the wait; an owner that ends
  // is seen by the wait's regular look.
  platform::WaitForMachine(take, timeout, {platform::Machine::Current().StateFolder()});
  if (result == WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
  return result;
}

}  // namespace

HANDLE CreateMutexW(const SECURITY_ATTRIBUTES*, BOOL initialOwner, const wchar_t* name) {
  std::wstring key;
  if (name && *name) {
    if (platform::ShouldFail("CreateMutex", name)) return nullptr;
    key = name;
  } else {
    key = platform::UnnamedMutexName();
  }
  const platform::MutexOwner self = platform::CallingThread();
  const bool existed = platform::ChangeMutexes([&](platform::MutexTable& table) {
    auto it = table.find(key);
    const bool found = it != table.end();
    if (!found) {
      platform::NamedMutex mutex;
      mutex.name = key;
      if (initialOwner) {
        mutex.owner = self;
        mutex.count = 1;
      }
      it = table.emplace(key, mutex).first;
    }
    it->second.holders.Hold(+1);
    return found;
  });
  auto* object = new MutexObject();
  object->name = key;
  HANDLE handle = platform::RegisterHandle(object);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenMutexW(DWORD access, BOOL, const std::wstring& name) {
  if (platform::ShouldFail("OpenMutex", name)) return nullptr;
  if (name.empty() || name[0] == platform::kUnnamedMark) return FailWith(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
  const bool found =
      platform::ChangeMutexes([&](platform::MutexTable& table) { return platform::HoldNamed(table, name, +1); });
  if (!found) return FailWith(ERROR_FILE_NOT_FOUND, HANDLE{nullptr});
  auto* object = new MutexObject();
  object->name = name;
  object->access = access;
  return platform::RegisterHandle(object);
}

BOOL ReleaseMutex(HANDLE handle) {
  auto* mutex = platform::HandleAs<MutexObject>(handle);
  if (!mutex) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (!(mutex->access & MUTEX_MODIFY_STATE)) return FailWith(ERROR_ACCESS_DENIED, FALSE);
  const platform::MutexOwner self = platform::CallingThread();
  const bool released = platform::ChangeMutexes([&](platform::MutexTable& table) {
    auto it = table.find(mutex->name);
    if (it == table.end() || !it->second.owner || !it->second.owner->SameThread(self)) return false;
    if (--it->second.count <= 0) {
      it->second.owner.reset();
      it->second.count = 0;
    }
    return true;
  });
  if (!released) return FailWith(ERROR_NOT_OWNER, FALSE);
  return TRUE;
}

}  // namespace win
