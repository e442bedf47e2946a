// Case-insensitive entry lookups with a per-process index of large folders,
// trusted while the folder's status is unchanged.
#include "platform/sim/files/folder_index.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/sim/registry/registry_store.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// Smaller folders are read on every lookup, as before: reading them costs
// little and they are never stale.
constexpr std::size_t kIndexedEntriesMinimum = 64;
// The most folders indexed at once; the one used longest ago goes first.
constexpr std::size_t kIndexedFoldersMaximum = 16;

struct FolderStatus {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  nlink_t links = 0;
  timespec modified{};
  timespec changed{};

  bool operator==(const FolderStatus& other) const {
    return device == other.device && inode == other.inode && size == other.size && links == other.links &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

bool ReadStatus(const fs::path& folder, FolderStatus* status) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  status->device = info.st_dev;
  status->inode = info.st_ino;
  status->size = info.st_size;
  status->links = info.st_nlink;
  status->modified = info.st_mtim;
  status->changed = info.st_ctim;
  return true;
}

struct FolderNames {
  FolderStatus status;
  std::unordered_map<std::wstring, std::string> byFoldedName;  // the first entry of each folded name
  std::uint64_t lastUse = 0;
};

struct IndexState {
  std::mutex mutex;
  std::map<std::string, FolderNames> folders;  // by host folder path
  std::uint64_t clock = 0;
  std::uint64_t reads = 0;
};

IndexState& State() {
  static IndexState state;
  return state;
}

void Evict(IndexState& state) {
  while (state.folders.size() > kIndexedFoldersMaximum) {
    auto oldest = state.folders.begin();
    for (auto it = state.folders.begin(); it != state.folders.end(); ++it) {
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    }
    state.folders.erase(oldest);
  }
}

}  // namespace

std::optional<std::string> FindEntryIgnoringCase(const fs::path& folder, const std::wstring& name, bool* folderFound) {
  IndexState& state = State();
  const std::wstring wanted = RegistryFold(name);
  // The status is taken before the folder is read, so a change made while
  // it is read shows at the next lookup.
  FolderStatus status;
  const bool isFolder = ReadStatus(folder, &status);
  if (folderFound) *folderFound = isFolder;
  if (!isFolder) return std::nullopt;

  std::lock_guard<std::mutex> guard(state.mutex);
  const std::string key = folder.string();
  auto known = state.folders.find(key);
  if (known != state.folders.end() && known->second.status == status) {
    known->second.lastUse = ++state.clock;
    auto found = known->second.byFoldedName.find(wanted);
    if (found == known->second.byFoldedName.end()) return std::nullopt;
    return found->second;
  }

  ++state.reads;
  FolderNames names;
  names.status = status;
  std::error_code error;
  for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    std::string entry = it->path().filename().string();
    names.byFoldedName.emplace(RegistryFold(Utf8ToWide(entry)), std::move(entry));
  }
  std::optional<std::string> result;
  auto found = names.byFoldedName.find(wanted);
  if (found != names.byFoldedName.end()) result = found->second;

  if (names.byFoldedName.size() >= kIndexedEntriesMinimum && !error) {
    names.lastUse = ++state.clock;
    state.folders[key] = std::move(names);
    Evict(state);
  } else if (known != state.folders.end()) {
    state.folders.erase(known);
  }
  return result;
}

void NoteEntryAdded(const fs::path& entry) {
  IndexState& state = State();
  const fs::path folder = entry.parent_path();
  std::lock_guard<std::mutex> guard(state.mutex);
  auto it = state.folders.find(folder.string());
  if (it == state.folders.end()) return;
  FolderStatus status;
  if (!ReadStatus(folder, &status)) {
    state.folders.erase(it);
    return;
  }
  const std::string name = entry.filename().string();
  it->second.byFoldedName.emplace(RegistryFold(Utf8ToWide(name)), name);
  it->second.status = status;
}

void NoteEntryRemoved(const fs::path& entry) {
  // Another entry may differ from the removed one only in case (the host's
  // file system allows both), so the folder is read again when next needed.
  IndexState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.folders.erase(entry.parent_path().string());
}

std::uint64_t FolderReadCount() {
  IndexState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  return state.reads;
}

}  // namespace platform
