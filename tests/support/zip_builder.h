// ZIP archives built record by record for tests: stored and deflated
// entries (zip_writer.h's archives are made here), optionally encrypted, and
// the layouts ordinary writers do not make: zip64 records, huge entries left
// as holes in the file, names flagged as UTF-8, sizes or CRCs that lie, other
// compression methods, data descriptors, and entries whose records share or
// nest inside another's bytes (archive bombs).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ZipRecord {
  std::string name;      // the name's bytes as stored
  std::string data;      // the entry's content
  bool deflate = false;  // else stored
  bool utf8Flag = false; // general-purpose bit 11
  // Sizes and local header offset as 0xFFFFFFFF in the central record, with
  // their values in a zip64 extra field; the archive then gets zip64 end
  // records.
  bool zip64 = false;
  // Instead of `data`: this many zero bytes, stored, and left as a hole in
  // the archive file so that it takes no disk space.
  std::uint64_t zeros = 0;
  bool dataDescriptor = false;  // general-purpose bit 3 and a signed descriptor after the data
  // The uncompressed size the records claim, when it is not the real one.
  std::optional<std::uint64_t> declaredSize = std::nullopt;
  // The CRC-32 the records claim, when it is not the real one.
  std::optional<std::uint32_t> declaredCrc = std::nullopt;
  // The compression method the records name, when it is not the one the
  // data was written with (the data stays stored or deflated).
  std::optional<std::uint16_t> declaredMethod = std::nullopt;
  // Not empty: the data is encrypted with this password (traditional PKWARE
  // encryption, general-purpose bit 0); not with `zeros`.
  std::string password = std::string();
  // The central record points at the local record of that earlier entry
  // instead of one of its own.
  std::optional<std::size_t> sharesLocalRecordOf = std::nullopt;
  // This entry's local record is not written on its own: it is found inside
  // the data of that earlier (stored) entry, which must contain LocalRecord()
  // of this one.
  std::optional<std::size_t> insideDataOf = std::nullopt;
};

// The local header and data of a record, as the builder writes them.
std::string LocalRecord(const ZipRecord& record);

// Writes the archive to a host file, after `prefix` (a self-extractor's stub).
bool WriteZipRecords(const std::filesystem::path& file, const std::vector<ZipRecord>& records,
                     const std::string& prefix = std::string());

// The CRC-32 of `count` zero bytes, without hashing them.
std::uint32_t ZerosCrc(std::uint64_t count);

}  // namespace testing_support
