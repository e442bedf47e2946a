// File marks in the machine's locks.json, and the reboot that clears them.
#include "platform/sim/files/file_marks.h"

#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/machine/state_file.h"

namespace platform {

namespace {

using MarkSet = nlohmann::json;  // {"locked": [...host paths], "encrypted": [...]}

// A damaged locks.json stops the program: a lock lost would let a file in
// use be deleted, and the next change would write the loss over the file.
MarkSet Load() {
  MarkSet marks = nlohmann::json::object();
  for (const char* kind : {"locked", "encrypted"}) marks[kind] = nlohmann::json::array();
  ReadStateFile(Machine::Current().LocksFile(), [&](const StateValue& doc) {
    for (const char* kind : {"locked", "encrypted"}) {
      for (const StateValue& item : doc.Optional(kind).Elements()) marks[kind].push_back(item.Text());
    }
  });
  return marks;
}

void Save(const MarkSet& marks) { WriteFileAtomically(Machine::Current().LocksFile(), marks.dump(1)); }

std::string Key(const std::filesystem::path& host) { return host.lexically_normal().string(); }

bool Add(const char* kind, const std::wstring& windowsPath) {
  auto host = ToHostPath(windowsPath);
  if (!host) return false;
  FileLock lock(Machine::Current().LocksFile(), true);
  MarkSet marks = Load();
  marks[kind].push_back(Key(*host));
  Save(marks);
  return true;
}

bool Has(const char* kind, const std::filesystem::path& host) {
  std::error_code error;
  if (!std::filesystem::exists(Machine::Current().LocksFile(), error)) return false;
  MarkSet marks = Load();
  std::string key = Key(host);
  for (const auto& item : marks[kind]) {
    if (item.is_string() && item.get<std::string>() == key) return true;
  }
  return false;
}

}  // namespace

bool LockFile(const std::wstring& windowsPath) { return Add("locked", windowsPath); }

bool IsLocked(const std::filesystem::path& hostPath) { return Has("locked", hostPath); }

bool MarkEncrypted(const std::wstring& windowsPath) { return Add("encrypted", windowsPath); }
bool IsEncrypted(const std::filesystem::path& hostPath) { return Has("encrypted", hostPath); }

void MoveMarks(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  if (!std::filesystem::exists(Machine::Current().LocksFile(), error)) return;
  FileLock lock(Machine::Current().LocksFile(), true);
  MarkSet marks = Load();
  bool changed = false;
  for (const char* kind : {"locked", "encrypted"}) {
    for (auto& item : marks[kind]) {
      if (item == Key(from)) {
        item = Key(to);
        changed = true;
      }
    }
  }
  if (changed) Save(marks);
}

int RebootMachine() {
  const std::wstring sessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  std::wstring pending;
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, sessionManager, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY,
                         &key) == 0) {
    win::DWORD size = 0;
    if (win::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == 0) {
      std::string bytes(size, '\0');
      win::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                            reinterpret_cast<win::BYTE*>(bytes.data()), &size);
      pending = Utf16LeToWide(bytes);
      win::RegDeleteValueW(key, L"PendingFileRenameOperations");
    }
    win::RegCloseKey(key);
  }
  {
    FileLock lock(Machine::Current().LocksFile(), true);
    MarkSet marks = Load();
    marks["locked"] = nlohmann::json::array();
    Save(marks);
  }
  // Pairs of NUL-terminated strings: source, then target (empty: delete).
  std::vector<std::wstring> items;
  std::size_t start = 0;
  while (start < pending.size()) {
    std::size_t end = pending.find(L'\0', start);
    if (end == std::wstring::npos) end = pending.size();
    items.push_back(pending.substr(start, end - start));
    start = end + 1;
  }
  auto strip = [](std::wstring p) { return p.rfind(L"\\??\\", 0) == 0 ? p.substr(4) : p; };
  int count = 0;
  for (std::size_t i = 0; i + 1 < items.size() + 1 && i < items.size(); i += 2) {
    std::wstring from = strip(items[i]);
    if (from.empty()) continue;
    std::wstring to = i + 1 < items.size() ? strip(items[i + 1]) : std::wstring();
    auto hostFrom = ToHostPath(from);
    if (!hostFrom) continue;
    std::error_code error;
    if (to.empty()) {
      std::filesystem::remove_all(*hostFrom, error);
    } else if (auto hostTo = ToHostPath(to)) {
      std::filesystem::rename(*hostFrom, *hostTo, error);
    }
    ++count;
  }
  return count;
}

}  // namespace platform
