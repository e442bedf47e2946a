// Locked, atomic JSON state files in the machine folder. A file that cannot
// be read back as what the machine wrote stops the program (and is left as it
// is) rather than being taken for empty and overwritten.
#include "platform/sim/machine/state_json.h"

#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_stop.h"
#include "platform/sim/machine/state_file.h"

namespace platform {

namespace {

nlohmann::json LoadUnlocked(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::exists(file, error) && !error) return nlohmann::json::object();
  auto content = ReadWholeFile(file);
  if (!content) StopOnDamagedStateFile(file, "it cannot be read");
  // The bounded reader refuses deep nesting and repeated members before the
  // document is parsed for use.
  const std::string problem = CheckStateText(*content, [](const StateValue&) {});
  if (!problem.empty()) StopOnDamagedStateFile(file, problem);
  nlohmann::json doc = nlohmann::json::parse(*content, nullptr, false);
  if (!doc.is_object()) StopOnDamagedStateFile(file, "the document is not a JSON object");
  return doc;
}

// Runs a decoder of the file's document; members of the wrong type make the
// JSON library throw, which means the file is damaged.
template <typename F>
auto Decoding(const std::filesystem::path& file, F&& decode) {
  try {
    return decode();
  } catch (const nlohmann::json::exception& problem) {
    StopOnDamagedStateFile(file, problem.what());
  }
}

}  // namespace

nlohmann::json ReadStateJson(const std::filesystem::path& file) {
  FileLock lock(file, false);
  return LoadUnlocked(file);
}

void DecodeStateJson(const std::filesystem::path& file, const std::function<void(const nlohmann::json&)>& decode) {
  const nlohmann::json doc = ReadStateJson(file);
  Decoding(file, [&] { decode(doc); });
}

bool ChangeStateJson(const std::filesystem::path& file, const std::function<bool(nlohmann::json&)>& change) {
  FileLock lock(file, true);
  nlohmann::json doc = LoadUnlocked(file);
  if (!Decoding(file, [&] { return change(doc); })) return false;
  return WriteFileAtomically(file, doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace));
}

std::filesystem::path StateFile(const char* name) {
  std::filesystem::path folder = Machine::Current().StateFolder();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder / name;
}

}  // namespace platform
