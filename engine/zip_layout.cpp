// ZIP records read from the archive's bytes (the layout of PKWARE's
// APPNOTE), and the spans of the archive they occupy.
#include "engine/zip_layout.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "platform/files.h"
#include "platform/little_endian.h"

namespace {

using platform::Get16;
using platform::Get32;

constexpr std::size_t kWindow = 16 * 1024;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::uint64_t kMaxComment = 0xFFFF;
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

std::uint64_t Get64(std::string_view data, std::size_t offset) {
  return static_cast<std::uint64_t>(Get32(data, offset)) | (static_cast<std::uint64_t>(Get32(data, offset + 4)) << 32);
}

// The offset of the last `signature` in `data` that has `size` bytes after
// it inside `data`, scanning from the end.
std::optional<std::size_t> FindLast(std::string_view data, std::uint32_t signature, std::size_t size) {
  if (data.size() < size) return std::nullopt;
  for (std::size_t at = data.size() - size + 1; at-- > 0;) {
    if (Get32(data, at) == signature) return at;
  }
  return std::nullopt;
}

}  // namespace

ArchiveReader::ArchiveReader(std::FILE* file) : file_(file) {
  if (file_ && win::_fseeki64(file_, 0, SEEK_END) == 0) {
    const std::int64_t end = win::_ftelli64(file_);
    if (end > 0) size_ = static_cast<std::uint64_t>(end);
  }
}

bool ArchiveReader::Read(std::uint64_t offset, std::size_t length, char* out) {
  if (!file_ || offset > size_ || length > size_ - offset) return false;
  for (Window& window : windows_) {
    if (offset >= window.offset && offset - window.offset + length <= window.length) {
      window.lastUse = ++clock_;
      std::copy_n(window.bytes.data() + (offset - window.offset), length, out);
      return true;
    }
  }
  if (length > kWindow / 2) {
    return win::_fseeki64(file_, static_cast<std::int64_t>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, length, file_) == length;
  }
  Window& window = windows_[0].lastUse <= windows_[1].lastUse ? windows_[0] : windows_[1];
  // Records read just below the window (an archive whose local headers come
  // in the opposite order to its directory) get a window that ends with them,
  // so that the next ones below are in it too.
  std::uint64_t start = offset;
  if (window.length > 0 && offset < window.offset && window.offset - offset < kWindow) {
    start = offset + length > kWindow ? offset + length - kWindow : 0;
  }
  window.bytes.resize(kWindow);
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - start));
  if (win::_fseeki64(file_, static_cast<std::int64_t>(start), SEEK_SET) != 0 ||
      std::fread(window.bytes.data(), 1, want, file_) != want) {
    window.length = 0;
    return false;
  }
  window.offset = start;
  window.length = want;
  window.lastUse = ++clock_;
  std::copy_n(window.bytes.data() + (offset - start), length, out);
  return true;
}

std::optional<ZipEnd> ReadZipEnd(ArchiveReader& archive) {
  const std::uint64_t size = archive.Size();
  const std::uint64_t tailLength = std::min<std::uint64_t>(size, kEndSize + kMaxComment);
  std::string tail(static_cast<std::size_t>(tailLength), '\0');
  if (tail.empty() || !archive.Read(size - tailLength, tail.size(), tail.data())) return std::nullopt;
  const std::uint64_t tailStart = size - tailLength;

  // A zip64 end record, found through its locator, comes first; when there
  // is none usable, the plain end record counts.
  ZipEnd end;
  std::uint64_t position = 0;  // where the end record that counts begins
  bool found = false;
  const auto locator = FindLast(tail, kZip64LocatorSignature, kZip64LocatorSize);
  if (locator && Get32(tail, *locator + 4) == 0 && Get32(tail, *locator + 16) == 1) {
    position = Get64(tail, *locator + 8);
    std::string record(kZip64EndSize, '\0');
    if (archive.Read(position, record.size(), record.data()) && Get32(record, 0) == kZip64EndSignature) {
      end.entries = Get64(record, 24);
      end.directorySize = Get64(record, 40);
      end.directoryOffset = Get64(record, 48);
      if (Get32(record, 16) != 0 || Get32(record, 20) != 0 || Get64(record, 32) != end.entries) return std::nullopt;
      found = true;
    }
  }
  if (!found) {
    const auto at = FindLast(tail, kEndSignature, kEndSize);
    if (!at) return std::nullopt;
    position = tailStart + *at;
    end.entries = Get16(tail, *at + 10);
    if (Get16(tail, *at + 4) != 0 || Get16(tail, *at + 6) != 0 || Get16(tail, *at + 8) != end.entries) {
      return std::nullopt;
    }
    end.directorySize = Get32(tail, *at + 12);
    end.directoryOffset = Get32(tail, *at + 16);
  }
  if (end.directoryOffset > position || end.directorySize > position - end.directoryOffset) return std::nullopt;
  end.bytesBefore = position - (end.directoryOffset + end.directorySize);
  return end;
}

std::optional<ZipCentralRecord> ReadCentralRecord(ArchiveReader& archive, std::uint64_t offset) {
  char fixed[kCentralSize];
  if (!archive.Read(offset, sizeof fixed, fixed)) return std::nullopt;
  const std::string_view header(fixed, sizeof fixed);
  if (Get32(header, 0) != kCentralSignature) return std::nullopt;
  ZipCentralRecord record;
  record.flags = Get16(header, 8);
  record.method = Get16(header, 10);
  record.modificationTime = Get16(header, 12);
  record.crc = Get32(header, 16);
  const std::uint32_t compressed = Get32(header, 20);
  const std::uint32_t uncompressed = Get32(header, 24);
  record.nameLength = Get16(header, 28);
  const std::uint16_t extraLength = Get16(header, 30);
  const std::uint16_t commentLength = Get16(header, 32);
  const std::uint32_t localHeader = Get32(header, 42);
  record.recordLength = kCentralSize + record.nameLength + extraLength + commentLength;
  record.name.assign(record.nameLength, '\0');
  if (!archive.Read(offset + kCentralSize, record.name.size(), record.name.data())) return std::nullopt;
  record.compressedSize = compressed;
  record.uncompressedSize = uncompressed;
  record.localHeaderOffset = localHeader;
  record.zip64 = compressed == kSaturated32 || uncompressed == kSaturated32 || localHeader == kSaturated32;
  if (!record.zip64) return record;

  std::string extra(extraLength, '\0');
  if (!archive.Read(offset + kCentralSize + record.nameLength, extra.size(), extra.data())) return std::nullopt;
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::uint16_t id = Get16(extra, at);
    const std::size_t length = Get16(extra, at + 2);
    if (length > extra.size() - at - 4) break;
    if (id == kZip64ExtraId) {
      // The 64-bit values appear in this order, each only when its 32-bit
      // field is saturated.
      std::size_t value = at + 4;
      const std::size_t valuesEnd = value + length;
      for (auto [field, saturated] : {std::pair{&record.uncompressedSize, uncompressed == kSaturated32},
                                      std::pair{&record.compressedSize, compressed == kSaturated32},
                                      std::pair{&record.localHeaderOffset, localHeader == kSaturated32}}) {
        if (!saturated) continue;
        if (value + 8 > valuesEnd) return std::nullopt;
        *field = Get64(extra, value);
        value += 8;
      }
      return record;
    }
    at += 4 + length;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> EntryDataOffset(ArchiveReader& archive, std::uint64_t offset,
                                             const ZipCentralRecord& record) {
  char fixed[kLocalSize];
  if (!archive.Read(offset, sizeof fixed, fixed)) return std::nullopt;
  const std::string_view header(fixed, sizeof fixed);
  if (Get32(header, 0) != kLocalSignature || Get16(header, 8) != record.method) return std::nullopt;
  return offset + kLocalSize + Get16(header, 26) + Get16(header, 28);
}

bool LocalHeaderAgrees(ArchiveReader& archive, std::uint64_t offset, const ZipCentralRecord& record) {
  char fixed[kLocalSize];
  if (!archive.Read(offset, sizeof fixed, fixed)) return false;
  const std::string_view header(fixed, sizeof fixed);
  if (Get16(header, 26) != record.nameLength) return false;
  if ((Get16(header, 6) & 0x0008) != 0) return true;
  const auto sizeAgrees = [](std::uint32_t local, std::uint64_t central) {
    return local == kSaturated32 || local == central;
  };
  return Get32(header, 14) == record.crc && sizeAgrees(Get32(header, 18), record.compressedSize) &&
         sizeAgrees(Get32(header, 22), record.uncompressedSize);
}

std::uint64_t DataDescriptorLength(ArchiveReader& archive, std::uint64_t offset, const ZipCentralRecord& record) {
  if (!record.HasDataDescriptor()) return 0;
  const std::uint64_t sizes = record.zip64 ? 16 : 8;
  char signature[4];
  const bool signed4 = archive.Read(offset, sizeof signature, signature) &&
                       Get32(std::string_view(signature, sizeof signature), 0) == kDescriptorSignature;
  return (signed4 ? 8 : 4) + sizes;
}

bool ArchiveSpans::Add(std::uint64_t begin, std::uint64_t end) {
  if (end <= begin) return true;
  auto next = spans_.lower_bound(begin);
  if (next != spans_.end() && next->first < end) return false;
  if (next != spans_.begin()) {
    auto previous = std::prev(next);
    if (previous->second > begin) return false;
    if (previous->second == begin) {
      begin = previous->first;
      spans_.erase(previous);
    }
  }
  if (next != spans_.end() && next->first == end) {
    end = next->second;
    spans_.erase(next);
  }
  spans_[begin] = end;
  return true;
}
