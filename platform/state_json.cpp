// Locked, atomic JSON state files in the machine folder.
#include "platform/state_json.h"

#include "platform/file_lock.h"
#include "platform/machine.h"

namespace platform {

namespace {

nlohmann::json LoadUnlocked(const std::filesystem::path& file) {
  auto content = ReadWholeFile(file);
  if (!content) return nlohmann::json::object();
  nlohmann::json doc = nlohmann::json::parse(*content, nullptr, false);
  return doc.is_object() ? doc : nlohmann::json::object();
}

}  // namespace

nlohmann::json ReadStateJson(const std::filesystem::path& file) {
  FileLock lock(file, false);
  return LoadUnlocked(file);
}

bool ChangeStateJson(const std::filesystem::path& file, const std::function<bool(nlohmann::json&)>& change) {
  FileLock lock(file, true);
  nlohmann::json doc = LoadUnlocked(file);
  if (!change(doc)) return false;
  return WriteFileAtomically(file, doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace));
}

std::filesystem::path StateFile(const char* name) {
  std::filesystem::path folder = Machine::Current().StateFolder();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder / name;
}

}  // namespace platform
