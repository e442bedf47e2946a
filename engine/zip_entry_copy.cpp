// Stored and deflated entry data copied with zlib's raw inflate, bounded by
// the entry's declared size and checked against its CRC.
#include "engine/zip_entry_copy.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

bool Write(std::FILE* out, const char* data, std::size_t length) {
  return length == 0 || std::fwrite(data, 1, length, out) == length;
}

// Reads the next `length` bytes of the entry's data at `*offset` into `out`,
// decrypted, and moves `*offset` past them.
bool ReadData(ArchiveReader& archive, const EntryData& data, std::uint64_t* offset, std::size_t length, char* out) {
  if (!archive.Read(*offset, length, out)) return false;
  if (data.decryption) data.decryption->Decrypt(out, length);
  *offset += length;
  return true;
}

EntryCopyResult CopyStored(ArchiveReader& archive, const EntryData& data, const ZipCentralRecord& record,
                           std::FILE* out, std::vector<char>& buffer) {
  if (data.length != record.uncompressedSize) return EntryCopyResult::Damaged;
  std::uint64_t offset = data.offset;
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::uint64_t left = record.uncompressedSize; left > 0;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    if (!ReadData(archive, data, &offset, piece, buffer.data())) return EntryCopyResult::Damaged;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(piece));
    if (!Write(out, buffer.data(), piece)) return EntryCopyResult::WriteFailed;
    left -= piece;
  }
  return crc == record.crc ? EntryCopyResult::Copied : EntryCopyResult::Damaged;
}

EntryCopyResult CopyDeflated(ArchiveReader& archive, const EntryData& data, const ZipCentralRecord& record,
                             std::FILE* out, EntryBuffers& buffers) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return EntryCopyResult::Damaged;
  std::vector<char>& input = buffers.input;
  std::vector<char>& buffer = buffers.output;
  std::uint64_t offset = data.offset;
  std::uint64_t inputLeft = data.length;
  std::uint64_t produced = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  EntryCopyResult result = EntryCopyResult::Damaged;
  while (true) {
    if (stream.avail_in == 0 && inputLeft > 0) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(inputLeft, input.size()));
      if (!ReadData(archive, data, &offset, piece, input.data())) break;
      inputLeft -= piece;
      stream.next_in = reinterpret_cast<Bytef*>(input.data());
      stream.avail_in = static_cast<uInt>(piece);
    }
    // Room for one byte beyond the declared size, so that data running past
    // it is seen instead of silently cut (and never none, even for a size
    // of 2^64 - 1).
    const std::size_t room =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size() - 1, record.uncompressedSize - produced)) + 1;
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
    // Z_BUF_ERROR only means that inflate wants more input; with none left
    // the stream was cut.
    if (status != Z_OK && !(status == Z_BUF_ERROR && (stream.avail_in > 0 || inputLeft > 0))) break;
  }
  inflateEnd(&stream);
  return result;
}

}  // namespace

bool IsSupportedMethod(std::uint16_t method) { return method == kStored || method == kDeflated; }

EntryCopyResult CopyEntryData(ArchiveReader& archive, const EntryData& data, const ZipCentralRecord& record,
                              std::FILE* out, EntryBuffers& buffers) {
  if (record.method == kStored) return CopyStored(archive, data, record, out, buffers.output);
  if (record.method == kDeflated) return CopyDeflated(archive, data, record, out, buffers);
  return EntryCopyResult::Damaged;
}
