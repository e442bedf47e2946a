// Injected faults, kept in the machine's faults.json.
#include "platform/faults.h"

#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/file_lock.h"
#include "platform/machine.h"
#include "platform/registry_store.h"

namespace platform {

namespace {

std::vector<Fault> Parse(const std::string& content) {
  std::vector<Fault> faults;
  nlohmann::json doc = nlohmann::json::parse(content, nullptr, false);
  if (!doc.is_array()) return faults;
  for (const auto& item : doc) {
    Fault fault;
    fault.operation = item.value("operation", std::string());
    fault.subject = Utf8ToWide(item.value("subject", std::string()));
    fault.error = item.value("error", 5u);
    fault.remaining = item.value("remaining", -1);
    faults.push_back(fault);
  }
  return faults;
}

std::string Serialise(const std::vector<Fault>& faults) {
  nlohmann::json doc = nlohmann::json::array();
  for (const Fault& f : faults) {
    doc.push_back({{"operation", f.operation},
                   {"subject", WideToUtf8(f.subject)},
                   {"error", f.error},
                   {"remaining", f.remaining}});
  }
  return doc.dump(1);
}

}  // namespace

void InjectFault(const Fault& fault) {
  auto file = Machine::Current().FaultsFile();
  FileLock lock(file, true);
  auto content = ReadWholeFile(file);
  std::vector<Fault> faults = content ? Parse(*content) : std::vector<Fault>();
  faults.push_back(fault);
  WriteFileAtomically(file, Serialise(faults));
}

void ClearFaults() {
  auto file = Machine::Current().FaultsFile();
  FileLock lock(file, true);
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

std::vector<Fault> ListFaults() {
  auto content = ReadWholeFile(Machine::Current().FaultsFile());
  return content ? Parse(*content) : std::vector<Fault>();
}

bool ShouldFail(const char* operation, const std::wstring& subject) {
  auto file = Machine::Current().FaultsFile();
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return false;  // the common case costs one stat
  FileLock lock(file, true);
  auto content = ReadWholeFile(file);
  if (!content) return false;
  std::vector<Fault> faults = Parse(*content);
  for (std::size_t i = 0; i < faults.size(); ++i) {
    Fault& f = faults[i];
    if (f.operation != operation) continue;
    if (!f.subject.empty() && RegistryFold(f.subject) != RegistryFold(subject)) continue;
    if (f.remaining == 0) continue;
    win::SetLastError(f.error);
    if (f.remaining > 0) {
      --f.remaining;
      WriteFileAtomically(file, Serialise(faults));
    }
    return true;
  }
  return false;
}

}  // namespace platform
