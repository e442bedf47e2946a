// The records of a ZIP archive as the archive's own bytes give them: the end
// records (zip64 ones included), central directory records with their zip64
// sizes and offsets, local headers, and the spans of the archive that each
// part occupies, so that parts claiming the same bytes are found.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Reads an archive's bytes at any offset, keeping two windows of it (the
// central directory and the local headers are read in turn) so that the
// small records read one after another cost no system call each.
class ArchiveReader {
 public:
  // `file` stays owned by the caller and open while the reader is used.
  explicit ArchiveReader(std::FILE* file);
  // The archive's size; 0 when it cannot be told.
  std::uint64_t Size() const { return size_; }
  // Exactly `length` bytes at `offset`; false when they are not all there.
  bool Read(std::uint64_t offset, std::size_t length, char* out);

 private:
  struct Window {
    std::vector<char> bytes;
    std::uint64_t offset = 0;
    std::size_t length = 0;
    std::uint64_t lastUse = 0;
  };
  std::FILE* file_;
  std::uint64_t size_ = 0;
  Window windows_[2];
  std::uint64_t clock_ = 0;
};

// Where the central directory is, from the last end record (or the zip64 end
// record it points to): `bytesBefore` is what precedes the archive proper (a
// self-extractor's stub), added to every offset the records give.
struct ZipEnd {
  std::uint64_t entries = 0;
  std::uint64_t directoryOffset = 0;
  std::uint64_t directorySize = 0;
  std::uint64_t bytesBefore = 0;
};
std::optional<ZipEnd> ReadZipEnd(ArchiveReader& archive);

// One central directory record, with the sizes and the local header offset
// taken from the zip64 extra field where the 32-bit fields say 0xFFFFFFFF.
struct ZipCentralRecord {
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t modificationTime = 0;  // MS-DOS time
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint64_t localHeaderOffset = 0;
  std::uint16_t nameLength = 0;
  std::string name;                 // the name's bytes as stored
  std::uint64_t recordLength = 0;   // with its name, extra field and comment: where the next record begins
  // Some field needed the zip64 extra field (its data descriptor, if any,
  // then holds 64-bit sizes).
  bool zip64 = false;

  bool Encrypted() const { return (flags & 0x0001) != 0; }
  bool HasDataDescriptor() const { return (flags & 0x0008) != 0; }
  bool Utf8Name() const { return (flags & 0x0800) != 0; }
};
// The record at `offset` (from the archive's start, `bytesBefore` included);
// empty when it is not a central record or its zip64 field lacks a value.
std::optional<ZipCentralRecord> ReadCentralRecord(ArchiveReader& archive, std::uint64_t offset);

// Where an entry's data begins: after the local header at `offset` (from the
// archive's start) with its name and extra field. Empty when there is no
// local header there or it names another compression method.
std::optional<std::uint64_t> EntryDataOffset(ArchiveReader& archive, std::uint64_t offset,
                                             const ZipCentralRecord& record);

// True when the local header at `offset` repeats what the central record
// says: the name's length, and the CRC and sizes unless the local header
// leaves them to a data descriptor (or a size to its zip64 extra field).
// A header that says otherwise belongs to a damaged archive.
bool LocalHeaderAgrees(ArchiveReader& archive, std::uint64_t offset, const ZipCentralRecord& record);

// The length of the data descriptor that follows an entry's data at
// `offset`: 12 or 16 bytes (with its optional signature), 20 or 24 for a
// zip64 entry; 0 when the entry has none.
std::uint64_t DataDescriptorLength(ArchiveReader& archive, std::uint64_t offset, const ZipCentralRecord& record);

// The spans of an archive its parts occupy. Touching spans are merged, so an
// archive whose parts follow each other costs one span.
class ArchiveSpans {
 public:
  // Adds [begin, end); false, adding nothing, when it overlaps a span
  // already added.
  bool Add(std::uint64_t begin, std::uint64_t end);

 private:
  std::map<std::uint64_t, std::uint64_t> spans_;  // begin -> end
};
