// Machine snapshots: what the registry, drive C:, the service manager, the
// task scheduler and the process table hold, and the difference of two.
#include "platform/sim/machine/machine_snapshot.h"

#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "platform/process.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/services.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

std::wstring Hex(const std::string& bytes) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

std::wstring ValueText(const RegistryValue& value) {
  if (value.type == 1 || value.type == 2) {
    return std::wstring(value.type == 1 ? L"REG_SZ \"" : L"REG_EXPAND_SZ \"") + Utf16LeToWide(value.data) + L"\" (" +
           std::to_wstring(value.data.size()) + L" bytes)";
  }
  if (value.type == 4 && value.data.size() == 4) {
    unsigned v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(value.data[i]);
    return L"REG_DWORD " + std::to_wstring(v);
  }
  return L"type " + std::to_wstring(value.type) + L" " + Hex(value.data);
}

// "<size> <md5>" of a file, read in buffered blocks.
std::wstring FileDigest(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_md5(), nullptr);
  char buffer[65536];
  unsigned long long size = 0;
  while (in) {
    in.read(buffer, sizeof buffer);
    std::streamsize n = in.gcount();
    if (n <= 0) break;
    EVP_DigestUpdate(context, buffer, static_cast<std::size_t>(n));
    size += static_cast<unsigned long long>(n);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  EVP_DigestFinal_ex(context, digest, &length);
  EVP_MD_CTX_free(context);
  return std::to_wstring(size) + L" " + Hex(std::string(reinterpret_cast<char*>(digest), length));
}

const char* const kAreas[] = {"registry", "file", "service", "task", "process"};

std::vector<const std::map<std::wstring, std::wstring>*> Areas(const MachineSnapshot& s) {
  return {&s.registry, &s.files, &s.services, &s.tasks, &s.processes};
}

}  // namespace

MachineSnapshot TakeMachineSnapshot() {
  MachineSnapshot snapshot;
  for (const auto& [folded, key] : ReadRegistry()) {
    snapshot.registry[key.path] = L"";
    for (const auto& [name, value] : key.values) snapshot.registry[key.path + L"\\\\:" + value.name] = ValueText(value);
  }
  fs::path driveC = Machine::Current().DriveC();
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(driveC, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    std::wstring path = ToWindowsPath(it->path());
    std::error_code kind;
    if (it->is_directory(kind)) snapshot.files[path] = L"folder";
    else if (it->is_regular_file(kind)) snapshot.files[path] = FileDigest(it->path());
  }
  const wchar_t* states[] = {L"?", L"STOPPED", L"START_PENDING", L"STOP_PENDING", L"RUNNING",
                             L"CONTINUE_PENDING", L"PAUSE_PENDING", L"PAUSED"};
  for (const ServiceSummary& s : ListServices()) {
    std::wstring state = s.state < 8 ? states[s.state] : std::to_wstring(s.state);
    snapshot.services[s.name] = std::to_wstring(s.type) + L" " + std::to_wstring(s.startType) + L" " + state + L" " + s.imagePath;
  }
  for (const ScheduledTask& t : ListScheduledTasks()) {
    snapshot.tasks[t.name] = t.schedule + L" " + std::to_wstring(t.modifier) + L" " + t.runAs + L" " + t.action;
  }
  std::map<std::wstring, int> seen;
  for (const ProcessRecord& p : ListProcesses()) {
    int n = ++seen[RegistryFold(p.imagePath)];
    snapshot.processes[p.imagePath + L"#" + std::to_wstring(n)] = Utf8ToWide(p.user);
  }
  return snapshot;
}

std::vector<std::wstring> CompareMachineSnapshots(const MachineSnapshot& before, const MachineSnapshot& after) {
  std::vector<std::wstring> lines;
  auto old = Areas(before);
  auto now = Areas(after);
  for (std::size_t area = 0; area < old.size(); ++area) {
    std::wstring name = Utf8ToWide(kAreas[area]);
    for (const auto& [item, value] : *old[area]) {
      auto it = now[area]->find(item);
      if (it == now[area]->end()) lines.push_back(L"- " + name + L" " + item);
      else if (it->second != value) lines.push_back(L"~ " + name + L" " + item);
    }
    for (const auto& [item, value] : *now[area]) {
      if (!old[area]->count(item)) lines.push_back(L"+ " + name + L" " + item);
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool SaveMachineSnapshot(const MachineSnapshot& snapshot, const std::string& hostFile) {
  nlohmann::json doc = nlohmann::json::object();
  auto areas = Areas(snapshot);
  for (std::size_t area = 0; area < areas.size(); ++area) {
    nlohmann::json items = nlohmann::json::object();
    for (const auto& [item, value] : *areas[area]) items[WideToUtf8(item)] = WideToUtf8(value);
    doc[kAreas[area]] = items;
  }
  return WriteFileAtomically(hostFile, doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool LoadMachineSnapshot(const std::string& hostFile, MachineSnapshot* snapshot) {
  auto content = ReadWholeFile(hostFile);
  if (!content || !snapshot) return false;
  nlohmann::json doc = nlohmann::json::parse(*content, nullptr, false);
  if (!doc.is_object()) return false;
  MachineSnapshot loaded;
  std::map<std::wstring, std::wstring>* areas[] = {&loaded.registry, &loaded.files, &loaded.services, &loaded.tasks,
                                                   &loaded.processes};
  for (std::size_t area = 0; area < 5; ++area) {
    if (!doc.contains(kAreas[area])) return false;  // every snapshot has all five areas
    const auto& items = doc[kAreas[area]];
    if (!items.is_object()) return false;
    for (const auto& [item, value] : items.items()) {
      if (!value.is_string()) return false;
      (*areas[area])[Utf8ToWide(item)] = Utf8ToWide(value.get<std::string>());
    }
  }
  *snapshot = loaded;
  return true;
}

}  // namespace platform
