// Injected faults, kept in the machine's faults.json.
#include "platform/sim/machine/faults.h"

#include <limits>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/machine/state_file.h"

namespace platform {

namespace {

// faults.json: [{"operation", "subject", "error", "remaining"}]. A damaged
// file stops the program: running without the faults a test armed would
// report a failure path as tested when it was not.
std::vector<Fault> Load(const std::filesystem::path& file) {
  std::vector<Fault> faults;
  ReadStateFile(file, [&](const StateValue& doc) {
    for (const StateValue& item : doc.Elements()) {
      Fault fault;
      fault.operation = item.Required("operation").Text();
      fault.subject = Utf8ToWide(item.Optional("subject").Text());
      fault.error = item.Optional("error").Whole(fault.error);
      fault.remaining = item.Optional("remaining").Whole(fault.remaining, -1, std::numeric_limits<int>::max());
      faults.push_back(fault);
    }
  });
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
  std::vector<Fault> faults = Load(file);
  faults.push_back(fault);
  WriteFileAtomically(file, Serialise(faults));
}

void ClearFaults() {
  auto file = Machine::Current().FaultsFile();
  FileLock lock(file, true);
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

bool ShouldFail(const char* operation, const std::wstring& subject) {
  auto file = Machine::Current().FaultsFile();
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return false;  // the common case costs one stat
  FileLock lock(file, true);
  std::vector<Fault> faults = Load(file);
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
