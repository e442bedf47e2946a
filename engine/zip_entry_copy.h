// Copying one entry's data out of an archive: stored or deflated, decrypted
// when it is encrypted, never more than the entry declares, checked against
// its CRC.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/zip_decryption.h"
#include "engine/zip_layout.h"

enum class EntryCopyResult {
  Copied,
  Damaged,      // the data ends early, runs past its declared size, or fails its CRC
  WriteFailed,  // the output refused a write (a full disk)
};

// True for the compression methods entries are unpacked from: stored (0)
// and deflated (8).
bool IsSupportedMethod(std::uint16_t method);

// Where one entry's data lies in the archive.
struct EntryData {
  std::uint64_t offset = 0;  // from the archive's start, after the encryption header if any
  std::uint64_t length = 0;  // up to the data descriptor if any
  // For an encrypted entry: the keys, already past its encryption header.
  ZipDecryption* decryption = nullptr;
};

// The buffers one unpacking reuses for all its entries, so that an entry of
// any size costs the same memory.
struct EntryBuffers {
  explicit EntryBuffers(std::size_t outputSize) : output(outputSize, '\0'), input(64 * 1024) {}
  std::vector<char> output;  // unpacked bytes on their way to the file, its whole size per write at most
  std::vector<char> input;   // compressed bytes on their way to zlib
};

// Copies the data of `record` to `out`, inflating deflated data. Damaged for
// a method that IsSupportedMethod refuses.
EntryCopyResult CopyEntryData(ArchiveReader& archive, const EntryData& data, const ZipCentralRecord& record,
                              std::FILE* out, EntryBuffers& buffers);
