// libFuzzer target for the ZIP record readers of the unpacking: arbitrary
// bytes as an archive must give records or nothing, never a crash, a read
// outside the archive or a loop that does not end. Its seeds are the update
// host's archives and small ones of every layout the readers know
// (make-zip-seeds.py).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/zip_decryption.h"
#include "engine/zip_entry_copy.h"
#include "engine/zip_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::FILE* archiveFile = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  std::FILE* output = std::fopen("/dev/null", "wb");
  if (archiveFile && output) {
    ArchiveReader archive(archiveFile);
    if (const auto end = ReadZipEnd(archive)) {
      // Walk the directory as the unpacking does, one record after another.
      ArchiveSpans spans;
      std::uint64_t offset = end->bytesBefore + end->directoryOffset;
      EntryBuffers buffers(1 << 16);
      for (std::uint64_t entry = 0; entry < end->entries && entry < 1000; ++entry) {
        const auto record = ReadCentralRecord(archive, offset);
        if (!record) break;
        const std::uint64_t local = end->bytesBefore + record->localHeaderOffset;
        if (const auto dataOffset = EntryDataOffset(archive, local, *record)) {
          const std::uint64_t dataEnd = *dataOffset + record->compressedSize;
          if (spans.Add(local, dataEnd + DataDescriptorLength(archive, dataEnd, *record)) &&
              LocalHeaderAgrees(archive, local, *record) && record->uncompressedSize < (1u << 24)) {
            // Encrypted data goes through the decryption whatever its check
            // byte says, so that the cipher meets the input too.
            ZipDecryption decryption("fuzz");
            EntryData entryData{*dataOffset, record->compressedSize, nullptr};
            char header[kZipEncryptionHeader];
            if (record->Encrypted() && record->compressedSize >= sizeof header &&
                archive.Read(*dataOffset, sizeof header, header)) {
              decryption.OpenHeader(header, 0);
              entryData = EntryData{*dataOffset + sizeof header, record->compressedSize - sizeof header, &decryption};
            }
            CopyEntryData(archive, entryData, *record, output, buffers);
          }
        }
        // The record's fixed part, name, extra field and comment.
        char lengths[6];
        if (!archive.Read(offset + 28, sizeof lengths, lengths)) break;
        auto get16 = [&](int at) {
          return static_cast<std::uint64_t>(static_cast<unsigned char>(lengths[at]) |
                                            (static_cast<unsigned char>(lengths[at + 1]) << 8));
        };
        offset += 46 + get16(0) + get16(2) + get16(4);
      }
    }
  }
  if (output) std::fclose(output);
  if (archiveFile) std::fclose(archiveFile);
  return 0;
}
