// libFuzzer target for the version manifest reader: arbitrary bytes served as
// the update host's proverinfo.dat must be taken whole or refused whole. The
// install engine downloads them from a loopback server into its staging
// folder and reads them there, as it does in an installation. When it refuses
// them, neither the catalogue nor the registry may have changed; when it takes
// them, no field it kept may be longer than the reader allows. Every input
// starts from a new engine, and the product version it stores is removed
// again, so that nothing carries over from one input to the next.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/install_engine.h"
#include "fuzz/fuzz_machine.h"
#include "fuzz/loopback_server.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "settings/installer_context.h"
#include "system/registry_helpers.h"

namespace {

class SilentProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring&) override {}
  void AddStatusRow(const std::wstring&, bool, unsigned) override {}
};

// The longest field the reader keeps (a file name is at most MAX_PATH).
constexpr std::size_t kLongestField = 260;

bool SameCatalogue(const ComponentMap& left, const ComponentMap& right) {
  if (left.size() != right.size()) return false;
  for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
    if (l->first != r->first || l->second.version != r->second.version || l->second.hash != r->second.hash ||
        l->second.targetPath != r->second.targetPath) {
      return false;
    }
  }
  return true;
}

bool ProductVersionStored() {
  std::wstring version;
  return RegReadString(kProductKey, kVersionValue, &version);
}

// The product version the engine stored, removed from the view it writes.
void RemoveProductVersion() {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kProductKey, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY,
                         &key) != win::ERROR_SUCCESS) {
    return;
  }
  win::RegDeleteValueW(key, kVersionValue);
  win::RegCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::UseFreshMachine();
  static fuzzing::LoopbackServer server;
  server.SetBody(std::string(reinterpret_cast<const char*>(data), size));

  InstallerContext context;
  context.m_updateAddress = server.Address() + L"/update";
  SilentProgress progress;
  InstallEngine engine(context, progress);
  engine.BuildCatalogue();
  win::SHCreateDirectory(nullptr, engine.m_stagingDir);
  const ComponentMap before = engine.m_components;

  if (!engine.FetchVersionManifest()) {
    if (!SameCatalogue(before, engine.m_components) || ProductVersionStored()) __builtin_trap();
  } else {
    for (const auto& [name, component] : engine.m_components) {
      if (component.version.size() > kLongestField || component.hash.size() > kLongestField) __builtin_trap();
    }
  }

  RemoveProductVersion();
  platform::ClearDebugLog();
  return 0;
}
