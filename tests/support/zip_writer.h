// ZIP archives for tests, written on the host: ordinary ones with any entry
// names (hostile ones included), and a helper that finds an entry's data so
// that tests can damage it the way a broken download or disk would.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ZipEntry {
  std::string name;  // stored as given (bytes of any code page, "/" or "\" as written)
  std::string data;
  bool stored = false;  // no compression, so the data bytes appear as they are
};

// Writes the archive; with a password every entry is encrypted (traditional
// PKWARE encryption). False when the file cannot be written.
bool WriteZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries,
              const std::string& password = std::string());

// The archive's bytes as WriteZip would write them (through a temporary file).
std::string ZipBytes(const std::vector<ZipEntry>& entries);

// File offset of the first data byte of the entry `name` (after its local
// header), found through the local headers; empty when there is none.
std::optional<std::size_t> EntryDataOffset(const std::string& archive, const std::string& name);

}  // namespace testing_support
