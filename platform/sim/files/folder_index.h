// Name lookups ignoring case in the machine's folders, with an index of the
// names of large folders so that creating many files does not read the whole
// folder once per new name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The name of the entry of host folder `folder` that equals `name` ignoring
// case, as it is written on disk; empty when the folder has none (or is no
// folder). A folder of many entries is read once and its names kept while the
// folder's status (device, inode, size, link count, change and modification
// times) stays as it was when it was read; entries this process adds or
// removes itself are written into the kept names as it makes them. A name
// another process adds in a different case within the same clock tick as this
// process's last look at that folder can therefore be missed, which only
// matters for a lookup in another letter case.
// `folderFound`, when given, tells whether `folder` is a folder at all.
std::optional<std::string> FindEntryIgnoringCase(const std::filesystem::path& folder, const std::wstring& name,
                                                 bool* folderFound = nullptr);

// Keep the index of `entry`'s folder current after this process created,
// renamed into or removed `entry` (a host path).
void NoteEntryAdded(const std::filesystem::path& entry);
void NoteEntryRemoved(const std::filesystem::path& entry);

// How many times lookups of this process have read a whole folder.
std::uint64_t FolderReadCount();

}  // namespace platform
