// Stored and deflated entry data copied with zlib, bounded by the entry's
// declared size and checked against its CRC.
#include "engine/zip_entry_copy.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr std::size_t kInputChunk = 64 * 1024;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

bool Write(std::FILE* out, const char* data, std::size_t length) {
  return length == 0 || std::fwrite(data, 1, length, out) == length;
}

EntryCopyResult CopyStored(ArchiveReader& archive, std::uint64_t offset, const ZipCentralRecord& record,
                           std::FILE* out, std::vector<char>& buffer) {
  if (record.compressedSize != record.uncompressedSize) return EntryCopyResult::Damaged;
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::uint64_t left = record.uncompressedSize; left > 0;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    if (!archive.Read(offset, piece, buffer.data())) return EntryCopyResult::Damaged;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(piece));
    if (!Write(out, buffer.data(), piece)) return EntryCopyResult::WriteFailed;
    offset += piece;
    left -= piece;
  }
  return crc == record.crc ? EntryCopyResult::Copied : EntryCopyResult::Damaged;
}

EntryCopyResult CopyDeflated(ArchiveReader& archive, std::uint64_t offset, const ZipCentralRecord& record,
                             std::FILE* out, std::vector<char>& buffer) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return EntryCopyResult::Damaged;
  std::vector<char> input(kInputChunk);
  std::uint64_t inputLeft = record.compressedSize;
  std::uint64_t produced = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  EntryCopyResult result = EntryCopyResult::Damaged;
  while (true) {
    if (stream.avail_in == 0 && inputLeft > 0) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(inputLeft, input.size()));
      if (!archive.Read(offset, piece, input.data())) break;
      offset += piece;
      inputLeft -= piece;
      stream.next_in = reinterpret_cast<Bytef*>(input.data());
      stream.avail_in = static_cast<uInt>(piece);
    }
    // Room for one byte beyond the declared size, so that data running past
    // it is seen instead of silently cut.
    const std::size_t room = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size(), record.uncompressedSize - produced + 1));
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
    stream.avail_out = static_cast<uInt>(room);
    const int status = inflate(&stream, Z_NO_FLUSH);
    const std::size_t got = room - stream.avail_out;
    if (got > record.uncompressedSize - produced) break;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(got));
    if (!Write(out, buffer.data(), got)) {
      result = EntryCopyResult::WriteFailed;
      break;
    }
    produced += got;
    if (status == Z_STREAM_END) {
      if (produced == record.uncompressedSize && crc == record.crc) result = EntryCopyResult::Copied;
      break;
    }
    if (status != Z_OK && !(status == Z_BUF_ERROR && (stream.avail_in > 0 || inputLeft > 0))) break;
  }
  inflateEnd(&stream);
  return result;
}

}  // namespace

EntryCopyResult CopyEntryData(ArchiveReader& archive, std::uint64_t dataOffset, const ZipCentralRecord& record,
                              std::FILE* out, std::vector<char>& buffer) {
  if (record.method == kStored) return CopyStored(archive, dataOffset, record, out, buffer);
  if (record.method == kDeflated) return CopyDeflated(archive, dataOffset, record, out, buffer);
  return EntryCopyResult::Damaged;
}
