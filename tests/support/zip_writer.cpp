// Writes test ZIP archives through the record builder and finds entry data
// in their bytes.
#include "support/zip_writer.h"

#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "support/host_files.h"
#include "support/zip_builder.h"

namespace testing_support {

namespace {

std::uint32_t Read16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

bool WriteZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries, const std::string& password) {
  std::vector<ZipRecord> records;
  for (const ZipEntry& entry : entries) {
    ZipRecord record;
    record.name = entry.name;
    record.data = entry.data;
    record.deflate = !entry.stored;
    record.password = password;
    records.push_back(record);
  }
  return WriteZipRecords(file, records);
}

std::string ZipBytes(const std::vector<ZipEntry>& entries) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("bvl-zip-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".zip");
  std::string bytes = WriteZip(file, entries) ? ReadHostFile(file) : std::string();
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return bytes;
}

std::optional<std::size_t> EntryDataOffset(const std::string& archive, const std::string& name) {
  static const char kLocalHeader[] = "PK\x03\x04";
  std::size_t at = 0;
  while ((at = archive.find(kLocalHeader, at, 4)) != std::string::npos) {
    if (at + 30 > archive.size()) break;
    const std::size_t nameLength = Read16(archive, at + 26);
    const std::size_t extraLength = Read16(archive, at + 28);
    if (at + 30 + nameLength <= archive.size() && archive.compare(at + 30, nameLength, name) == 0 &&
        nameLength == name.size()) {
      return at + 30 + nameLength + extraLength;
    }
    at += 4;
  }
  return std::nullopt;
}

}  // namespace testing_support
