// Writes test ZIP archives with minizip's zip API and finds entry data in
// their bytes.
#include "support/zip_writer.h"

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include <minizip/zip.h>
#include <zlib.h>

#include "support/host_files.h"

namespace testing_support {

namespace {

std::uint32_t Read16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

bool WriteZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries, const std::string& password) {
  zipFile zip = zipOpen64(file.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  bool ok = true;
  for (const ZipEntry& entry : entries) {
    zip_fileinfo info{};
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size()));
    const int method = entry.stored ? 0 : Z_DEFLATED;
    const int level = entry.stored ? 0 : Z_DEFAULT_COMPRESSION;
    if (zipOpenNewFileInZip3_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, level, 0,
                                -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                password.empty() ? nullptr : password.c_str(), crc, 0) != ZIP_OK) {
      ok = false;
      break;
    }
    if (!entry.data.empty() &&
        zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) != ZIP_OK) {
      ok = false;
    }
    if (zipCloseFileInZip(zip) != ZIP_OK) ok = false;
    if (!ok) break;
  }
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok;
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
