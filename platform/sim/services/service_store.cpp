// Service configurations in the registry and running state in
// state/services.json, kept up to date whenever either is read.
#include "platform/sim/services/service_store.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/little_endian.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/machine/state_json.h"

namespace platform {

namespace {

using nlohmann::json;

std::filesystem::path ServicesFile() { return StateFile("services.json"); }

std::wstring KeyOf(const std::wstring& name) { return std::wstring(kServicesKey) + L"\\" + name; }

win::DWORD DwordValue(const RegistryKeyRecord& key, const wchar_t* name, win::DWORD fallback) {
  auto it = key.values.find(RegistryFold(name));
  if (it == key.values.end() || it->second.data.size() != 4) return fallback;
  return Get32(it->second.data, 0);
}

std::wstring TextValue(const RegistryKeyRecord& key, const wchar_t* name) {
  auto it = key.values.find(RegistryFold(name));
  if (it == key.values.end()) return std::wstring();
  std::wstring text = Utf16LeToWide(it->second.data);
  std::size_t nul = text.find(L'\0');
  return nul == std::wstring::npos ? text : text.substr(0, nul);
}

std::optional<ServiceConfig> ConfigOf(const RegistryKeyRecord& key) {
  if (key.values.find(RegistryFold(L"Type")) == key.values.end()) return std::nullopt;
  ServiceConfig config;
  config.name = key.path.substr(key.path.rfind(L'\\') + 1);
  config.type = DwordValue(key, L"Type", 0);
  config.startType = DwordValue(key, L"Start", win::SERVICE_DEMAND_START);
  config.errorControl = DwordValue(key, L"ErrorControl", win::SERVICE_ERROR_NORMAL);
  config.imagePath = TextValue(key, L"ImagePath");
  config.displayName = TextValue(key, L"DisplayName");
  config.account = TextValue(key, L"ObjectName");
  auto actions = key.values.find(RegistryFold(L"FailureActions"));
  if (actions != key.values.end()) config.failureActions = actions->second.data;
  return config;
}

// One small reader and one writer of the state file.
ServiceState ParseState(const json& doc) {
  ServiceState state;
  state.clockOffset = doc.value("clockOffset", 0LL);
  if (doc.contains("delays") && doc["delays"].is_object()) {
    for (const auto& [name, d] : doc["delays"].items()) {
      if (!d.is_object()) continue;
      state.delays[Utf8ToWide(name)] = ServiceDelays{d.value("start", 0), d.value("stop", 0)};
    }
  }
  if (doc.contains("services") && doc["services"].is_object()) {
    for (const auto& [name, s] : doc["services"].items()) {
      if (!s.is_object()) continue;
      ServiceRuntime r;
      r.state = s.value("state", win::SERVICE_STOPPED);
      r.pendingUntil = s.value("pendingUntil", 0LL);
      r.processId = s.value("processId", 0u);
      r.connected = s.value("connected", false);
      if (s.contains("arguments") && s["arguments"].is_array()) {
        for (const auto& a : s["arguments"]) {
          if (a.is_string()) r.arguments.push_back(Utf8ToWide(a.get<std::string>()));
        }
      }
      r.controlsAccepted = s.value("controlsAccepted", 0u);
      r.win32ExitCode = s.value("win32ExitCode", 0u);
      r.specificExitCode = s.value("specificExitCode", 0u);
      r.checkPoint = s.value("checkPoint", 0u);
      r.waitHint = s.value("waitHint", 0u);
      r.markedForDelete = s.value("markedForDelete", false);
      if (s.contains("holders") && s["holders"].is_array()) {
        for (const auto& h : s["holders"]) {
          if (!h.is_object()) continue;
          r.holders.push_back(ServiceHolder{HostProcess{h.value("pid", 0), h.value("start", 0LL)}, h.value("count", 0)});
        }
      }
      r.controlSequence = s.value("controlSequence", std::uint64_t{0});
      r.control = s.value("control", 0u);
      r.answeredSequence = s.value("answeredSequence", std::uint64_t{0});
      state.services[Utf8ToWide(name)] = r;
    }
  }
  return state;
}

json SerialiseState(const ServiceState& state) {
  json delays = json::object();
  for (const auto& [name, d] : state.delays) delays[WideToUtf8(name)] = {{"start", d.start}, {"stop", d.stop}};
  json services = json::object();
  for (const auto& [name, r] : state.services) {
    json holders = json::array();
    for (const auto& h : r.holders) holders.push_back({{"pid", h.process.pid}, {"start", h.process.start}, {"count", h.count}});
    json arguments = json::array();
    for (const auto& a : r.arguments) arguments.push_back(WideToUtf8(a));
    services[WideToUtf8(name)] = {{"state", r.state},
                                  {"pendingUntil", r.pendingUntil},
                                  {"processId", r.processId},
                                  {"connected", r.connected},
                                  {"arguments", arguments},
                                  {"controlsAccepted", r.controlsAccepted},
                                  {"win32ExitCode", r.win32ExitCode},
                                  {"specificExitCode", r.specificExitCode},
                                  {"checkPoint", r.checkPoint},
                                  {"waitHint", r.waitHint},
                                  {"markedForDelete", r.markedForDelete},
                                  {"holders", holders},
                                  {"controlSequence", r.controlSequence},
                                  {"control", r.control},
                                  {"answeredSequence", r.answeredSequence}};
  }
  return {{"clockOffset", state.clockOffset}, {"delays", delays}, {"services", services}};
}

bool ProcessRuns(win::DWORD id) {
  auto record = FindProcess(id);
  return record && record->running;
}

// Brings the state up to date; returns the services whose deletion is due.
std::vector<std::wstring> Settle(ServiceState& state) {
  RegistryTree tree = ReadRegistry();
  std::vector<std::wstring> due;
  long long now = state.Now();
  for (auto it = state.services.begin(); it != state.services.end();) {
    ServiceRuntime& r = it->second;
    auto key = tree.find(RegistryFold(KeyOf(it->first)));
    std::optional<ServiceConfig> config = key == tree.end() ? std::nullopt : ConfigOf(key->second);
    if (!config) {
      it = state.services.erase(it);  // its key was removed: the service is gone
      continue;
    }
    std::vector<ServiceHolder> live;
    for (const ServiceHolder& h : r.holders) {
      if (h.count > 0 && HostProcessRunning(h.process)) live.push_back(h);
    }
    r.holders = live;
    if (IsDriverType(config->type)) {
      bool elapsed = r.pendingUntil >= 0 && now >= r.pendingUntil;
      if (r.state == win::SERVICE_START_PENDING && elapsed) r.state = win::SERVICE_RUNNING;
      if (r.state == win::SERVICE_STOP_PENDING && elapsed) r.state = win::SERVICE_STOPPED;
    } else if (r.processId && !ProcessRuns(r.processId)) {
      // The program ended without reporting SERVICE_STOPPED.
      if (r.state != win::SERVICE_STOPPED) r.win32ExitCode = win::ERROR_PROCESS_ABORTED;
      r.state = win::SERVICE_STOPPED;
      r.processId = 0;
      r.connected = false;
      r.controlsAccepted = 0;
    }
    if (r.markedForDelete && r.state == win::SERVICE_STOPPED && r.holders.empty()) {
      due.push_back(config->name);
      it = state.services.erase(it);
      continue;
    }
    ++it;
  }
  return due;
}

void DeleteServiceKeys(const std::vector<std::wstring>& names) {
  if (names.empty()) return;
  ChangeRegistry([&](RegistryTree& tree) {
    for (const std::wstring& name : names) {
      std::wstring folded = RegistryFold(KeyOf(name));
      std::wstring children = folded + L"\\";
      for (auto it = tree.lower_bound(children); it != tree.end() && it->first.compare(0, children.size(), children) == 0;) {
        it = tree.erase(it);
      }
      tree.erase(folded);
    }
    return true;
  });
}

}  // namespace

bool IsDriverType(win::DWORD type) {
  return (type & (win::SERVICE_KERNEL_DRIVER | win::SERVICE_FILE_SYSTEM_DRIVER)) != 0;
}

long long ServiceState::Now() const { return MachineNowMilliseconds() + clockOffset; }

std::wstring FoldServiceName(const std::wstring& name) { return RegistryFold(name); }

std::vector<ServiceConfig> ReadServiceConfigs() {
  RegistryTree tree = ReadRegistry();
  std::vector<ServiceConfig> configs;
  std::wstring prefix = RegistryFold(kServicesKey) + L"\\";
  for (auto it = tree.lower_bound(prefix); it != tree.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find(L'\\', prefix.size()) != std::wstring::npos) continue;  // a subkey of a service
    if (auto config = ConfigOf(it->second)) configs.push_back(*config);
  }
  return configs;
}

std::optional<ServiceConfig> ReadServiceConfig(const std::wstring& name) {
  if (name.empty() || name.find(L'\\') != std::wstring::npos) return std::nullopt;
  RegistryTree tree = ReadRegistry();
  auto key = tree.find(RegistryFold(KeyOf(name)));
  if (key == tree.end()) return std::nullopt;
  return ConfigOf(key->second);
}

ServiceState ReadServiceState() {
  ServiceState state;
  ChangeServiceState([&](ServiceState& current) {
    state = current;
    return false;
  });
  return state;
}

bool ChangeServiceState(const std::function<bool(ServiceState&)>& change) {
  bool changed = false;
  bool needsWrite = false;
  bool written = ChangeStateJson(ServicesFile(), [&](json& doc) {
    ServiceState state = ParseState(doc);
    json before = SerialiseState(state);
    // Deleted under the state's lock, so no other process opens a service
    // that is about to go; the change may itself make a deletion due (the
    // last handle closed, the service stopped).
    DeleteServiceKeys(Settle(state));
    changed = change(state);
    DeleteServiceKeys(Settle(state));
    json after = SerialiseState(state);
    needsWrite = after != before;
    if (!needsWrite) return false;
    doc = after;
    return true;
  });
  return changed && (written || !needsWrite);
}

win::SERVICE_STATUS StatusOf(const ServiceConfig& config, const ServiceRuntime& runtime) {
  win::SERVICE_STATUS status;
  status.dwServiceType = config.type;
  status.dwCurrentState = runtime.state;
  status.dwControlsAccepted = runtime.controlsAccepted;
  status.dwWin32ExitCode = runtime.win32ExitCode;
  status.dwServiceSpecificExitCode = runtime.specificExitCode;
  status.dwCheckPoint = runtime.checkPoint;
  status.dwWaitHint = runtime.waitHint;
  if (IsDriverType(config.type) && runtime.state == win::SERVICE_RUNNING) status.dwControlsAccepted = win::SERVICE_ACCEPT_STOP;
  return status;
}

std::string EncodeFailureActions(win::DWORD resetPeriod, const std::vector<win::SC_ACTION>& actions) {
  std::string bytes;
  auto put = [&](win::DWORD v) {
    bytes.append(4, '\0');
    Put32(bytes, bytes.size() - 4, v);
  };
  put(resetPeriod);
  put(0);  // lpRebootMsg: kept in the RebootMessage value
  put(0);  // lpCommand: kept in the FailureCommand value
  put(static_cast<win::DWORD>(actions.size()));
  put(actions.empty() ? 0 : 20);  // lpsaActions: where the actions begin
  for (const win::SC_ACTION& a : actions) {
    put(static_cast<win::DWORD>(a.Type));
    put(a.Delay);
  }
  return bytes;
}

bool DecodeFailureActions(const std::string& bytes, win::DWORD* resetPeriod, std::vector<win::SC_ACTION>* actions) {
  if (bytes.size() < 20) return false;
  win::DWORD count = Get32(bytes, 12);
  if (count > (bytes.size() - 20) / 8) return false;
  *resetPeriod = Get32(bytes, 0);
  actions->clear();
  for (win::DWORD i = 0; i < count; ++i) {
    win::SC_ACTION a;
    a.Type = static_cast<win::SC_ACTION_TYPE>(Get32(bytes, 20 + 8 * i));
    a.Delay = Get32(bytes, 24 + 8 * i);
    actions->push_back(a);
  }
  return true;
}

}  // namespace platform
