// The stream cipher of PKWARE's APPNOTE (section "Traditional PKWARE
// Decryption"): three 32-bit keys advanced by every plain byte, two of them
// through the CRC-32 table of zlib.
#include "engine/zip_decryption.h"

#include <zlib.h>

namespace {

std::uint32_t CrcStep(std::uint32_t crc, std::uint8_t byte) {
  static const z_crc_t* const table = get_crc_table();
  return static_cast<std::uint32_t>(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

}  // namespace

ZipDecryption::ZipDecryption(const std::string& password) : keys_{0x12345678, 0x23456789, 0x34567890} {
  for (char c : password) Update(static_cast<std::uint8_t>(c));
}

bool ZipDecryption::OpenHeader(const char (&header)[12], std::uint8_t check) {
  char plain[12];
  for (std::size_t i = 0; i < sizeof plain; ++i) plain[i] = header[i];
  Decrypt(plain, sizeof plain);
  return static_cast<std::uint8_t>(plain[11]) == check;
}

void ZipDecryption::Decrypt(char* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const auto plain = static_cast<std::uint8_t>(static_cast<std::uint8_t>(data[i]) ^ KeyStream());
    Update(plain);
    data[i] = static_cast<char>(plain);
  }
}

void ZipDecryption::Update(std::uint8_t plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcStep(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
}

std::uint8_t ZipDecryption::KeyStream() const {
  const std::uint32_t temp = (keys_[2] | 2) & 0xFFFF;
  return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
}
