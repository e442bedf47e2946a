// Writes ZIP records by hand (PKWARE's APPNOTE layout) with zlib for the
// deflated data and the CRCs.
#include "support/zip_builder.h"

#include <zlib.h>

#include <fstream>
#include <random>

namespace testing_support {

namespace {

constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
// Every entry is dated 2026-12-10 10:00:00 (MS-DOS date and time).
constexpr std::uint16_t kDosTime = 10 << 11;
constexpr std::uint16_t kDosDate = ((2026 - 1980) << 9) | (12 << 5) | 10;

void Add16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void Add32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}
void Add64(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string RawDeflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// Traditional PKWARE encryption (APPNOTE, "Traditional PKWARE Encryption"),
// written here apart from the installer's decryption so that each checks the
// other; Info-ZIP's unzip checks this one too.
class PkwareCipher {
 public:
  explicit PkwareCipher(const std::string& password) {
    for (char c : password) Update(static_cast<unsigned char>(c));
  }
  std::string Encrypt(const std::string& plain) {
    std::string out = plain;
    for (char& c : out) {
      const std::uint32_t temp = (keys_[2] | 2) & 0xFFFF;
      const auto stream = static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
      Update(static_cast<unsigned char>(c));
      c = static_cast<char>(static_cast<unsigned char>(c) ^ stream);
    }
    return out;
  }

 private:
  static std::uint32_t Crc(std::uint32_t crc, unsigned char byte) {
    // zlib's CRC-32 of one byte, without its pre- and post-inversion.
    const Bytef data[1] = {byte};
    return ~static_cast<std::uint32_t>(crc32(~crc & 0xFFFFFFFFu, data, 1));
  }
  void Update(unsigned char plain) {
    keys_[0] = Crc(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = Crc(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
  }
  std::uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

// The encryption header (eleven bytes that differ from entry to entry, and
// the check byte) and the data behind it, encrypted.
std::string Encrypted(const std::string& password, const std::string& payload, unsigned char check,
                      std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string header(12, '\0');
  for (std::size_t i = 0; i < 11; ++i) header[i] = static_cast<char>(random());
  header[11] = static_cast<char>(check);
  return PkwareCipher(password).Encrypt(header + payload);
}

// What the records of one entry say about it.
struct Facts {
  std::uint32_t crc = 0;
  std::uint64_t compressed = 0;
  std::uint64_t declared = 0;
  std::string payload;  // the data as stored; empty for a hole of zeros
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
};

Facts FactsOf(const ZipRecord& record) {
  Facts facts;
  if (record.zeros > 0) {
    facts.crc = ZerosCrc(record.zeros);
    facts.compressed = record.zeros;
  } else {
    facts.crc = record.declaredCrc.value_or(static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(record.data.data()), static_cast<uInt>(record.data.size()))));
    facts.payload = record.deflate ? RawDeflate(record.data) : record.data;
    if (!record.password.empty()) {
      // The check byte: the CRC's high byte, or the time's when a data
      // descriptor brings the CRC only after the data.
      const auto check = static_cast<unsigned char>(record.dataDescriptor ? kDosTime >> 8 : facts.crc >> 24);
      facts.payload = Encrypted(record.password, facts.payload, check, facts.crc);
    }
    facts.compressed = facts.payload.size();
  }
  facts.declared = record.declaredSize.value_or(record.zeros > 0 ? record.zeros : record.data.size());
  facts.flags = static_cast<std::uint16_t>((record.utf8Flag ? 0x0800 : 0) | (record.dataDescriptor ? 0x0008 : 0) |
                                           (record.password.empty() || record.zeros > 0 ? 0 : 0x0001));
  facts.method = record.declaredMethod.value_or(record.deflate && record.zeros == 0 ? 8 : 0);
  return facts;
}

std::string LocalHeader(const ZipRecord& record, const Facts& facts) {
  std::string header;
  Add32(header, 0x04034b50);
  Add16(header, record.zip64 ? 45 : 20);
  Add16(header, facts.flags);
  Add16(header, facts.method);
  Add16(header, kDosTime);
  Add16(header, kDosDate);
  std::string extra;
  if (record.dataDescriptor) {
    Add32(header, 0);
    Add32(header, 0);
    Add32(header, 0);
  } else if (record.zip64) {
    Add32(header, facts.crc);
    Add32(header, kSaturated32);
    Add32(header, kSaturated32);
    Add16(extra, 0x0001);
    Add16(extra, 16);
    Add64(extra, facts.declared);
    Add64(extra, facts.compressed);
  } else {
    Add32(header, facts.crc);
    Add32(header, static_cast<std::uint32_t>(facts.compressed));
    Add32(header, static_cast<std::uint32_t>(facts.declared));
  }
  Add16(header, static_cast<std::uint32_t>(record.name.size()));
  Add16(header, static_cast<std::uint32_t>(extra.size()));
  return header + record.name + extra;
}

std::string Descriptor(const ZipRecord& record, const Facts& facts) {
  std::string descriptor;
  if (!record.dataDescriptor) return descriptor;
  Add32(descriptor, 0x08074b50);
  Add32(descriptor, facts.crc);
  if (record.zip64) {
    Add64(descriptor, facts.compressed);
    Add64(descriptor, facts.declared);
  } else {
    Add32(descriptor, static_cast<std::uint32_t>(facts.compressed));
    Add32(descriptor, static_cast<std::uint32_t>(facts.declared));
  }
  return descriptor;
}

std::string CentralRecord(const ZipRecord& record, const Facts& facts, std::uint64_t offset) {
  std::string central;
  Add32(central, 0x02014b50);
  Add16(central, record.zip64 ? 45 : 20);
  Add16(central, record.zip64 ? 45 : 20);
  Add16(central, facts.flags);
  Add16(central, facts.method);
  Add16(central, kDosTime);
  Add16(central, kDosDate);
  Add32(central, facts.crc);
  std::string extra;
  if (record.zip64) {
    Add32(central, kSaturated32);
    Add32(central, kSaturated32);
    Add16(extra, 0x0001);
    Add16(extra, 24);
    Add64(extra, facts.declared);
    Add64(extra, facts.compressed);
    Add64(extra, offset);
  } else {
    Add32(central, static_cast<std::uint32_t>(facts.compressed));
    Add32(central, static_cast<std::uint32_t>(facts.declared));
  }
  Add16(central, static_cast<std::uint32_t>(record.name.size()));
  Add16(central, static_cast<std::uint32_t>(extra.size()));
  Add16(central, 0);  // comment
  Add16(central, 0);  // disk
  Add16(central, 0);  // internal attributes
  Add32(central, 0);  // external attributes
  Add32(central, record.zip64 ? kSaturated32 : static_cast<std::uint32_t>(offset));
  return central + record.name + extra;
}

}  // namespace

std::uint32_t ZerosCrc(std::uint64_t count) {
  // CRCs of runs of zeros combine: a run of 2n is two runs of n.
  uLong total = crc32(0L, Z_NULL, 0);
  uLong run = crc32(0L, reinterpret_cast<const Bytef*>("\0"), 1);
  for (std::uint64_t length = 1; count > 0; length *= 2) {
    if (count & 1) total = crc32_combine(total, run, static_cast<z_off_t>(length));
    run = crc32_combine(run, run, static_cast<z_off_t>(length));
    count >>= 1;
  }
  return static_cast<std::uint32_t>(total);
}

std::string LocalRecord(const ZipRecord& record) {
  const Facts facts = FactsOf(record);
  return LocalHeader(record, facts) + facts.payload + Descriptor(record, facts);
}

bool WriteZipRecords(const std::filesystem::path& file, const std::vector<ZipRecord>& records,
                     const std::string& prefix) {
  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
  std::vector<std::uint64_t> offsets;  // of each entry's local header, from the archive's start
  std::vector<std::size_t> headerLengths;
  std::uint64_t at = 0;
  bool zip64 = false;
  for (const ZipRecord& record : records) {
    zip64 = zip64 || record.zip64;
    const Facts facts = FactsOf(record);
    const std::string header = LocalHeader(record, facts);
    headerLengths.push_back(header.size());
    if (record.sharesLocalRecordOf) {
      offsets.push_back(offsets.at(*record.sharesLocalRecordOf));
      continue;
    }
    if (record.insideDataOf) {
      const std::size_t container = *record.insideDataOf;
      const std::size_t inside = records.at(container).data.find(LocalRecord(record));
      if (inside == std::string::npos) return false;
      offsets.push_back(offsets.at(container) + headerLengths.at(container) + inside);
      continue;
    }
    offsets.push_back(at);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    at += header.size();
    if (record.zeros > 0) {
      out.seekp(static_cast<std::streamoff>(prefix.size() + at + record.zeros));
    } else {
      out.write(facts.payload.data(), static_cast<std::streamsize>(facts.payload.size()));
    }
    at += facts.compressed;
    const std::string descriptor = Descriptor(record, facts);
    out.write(descriptor.data(), static_cast<std::streamsize>(descriptor.size()));
    at += descriptor.size();
  }

  std::string directory;
  for (std::size_t i = 0; i < records.size(); ++i) directory += CentralRecord(records[i], FactsOf(records[i]), offsets[i]);
  const std::uint64_t directoryOffset = at;
  std::string end;
  if (zip64) {
    const std::uint64_t zip64End = directoryOffset + directory.size();
    Add32(end, 0x06064b50);
    Add64(end, 44);
    Add16(end, 45);
    Add16(end, 45);
    Add32(end, 0);
    Add32(end, 0);
    Add64(end, records.size());
    Add64(end, records.size());
    Add64(end, directory.size());
    Add64(end, directoryOffset);
    Add32(end, 0x07064b50);
    Add32(end, 0);
    Add64(end, zip64End);
    Add32(end, 1);
  }
  Add32(end, 0x06054b50);
  Add16(end, 0);
  Add16(end, 0);
  Add16(end, zip64 ? 0xFFFF : static_cast<std::uint32_t>(records.size()));
  Add16(end, zip64 ? 0xFFFF : static_cast<std::uint32_t>(records.size()));
  Add32(end, zip64 ? kSaturated32 : static_cast<std::uint32_t>(directory.size()));
  Add32(end, zip64 ? kSaturated32 : static_cast<std::uint32_t>(directoryOffset));
  Add16(end, 0);
  out.write(directory.data(), static_cast<std::streamsize>(directory.size()));
  out.write(end.data(), static_cast<std::streamsize>(end.size()));
  return static_cast<bool>(out);
}

}  // namespace testing_support
