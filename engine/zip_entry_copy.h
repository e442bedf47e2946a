// Copying one entry's data out of an archive without minizip, for the zip64
// entries whose sizes the platform's minizip cuts at 4 GiB.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/zip_layout.h"

enum class EntryCopyResult {
  Copied,
  Damaged,      // the data ends early, runs past its declared size, or fails its CRC
  WriteFailed,  // the output refused a write (a full disk)
};

// Copies the data of `record` that begins at `dataOffset` to `out` through
// `buffer` (its whole size per write), inflating deflated data. Never writes
// more than the record's uncompressed size.
EntryCopyResult CopyEntryData(ArchiveReader& archive, std::uint64_t dataOffset, const ZipCentralRecord& record,
                              std::FILE* out, std::vector<char>& buffer);
