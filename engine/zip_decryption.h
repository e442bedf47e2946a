// Traditional PKWARE encryption of ZIP entries, read side: the keys a
// password gives, the check of an entry's 12-byte encryption header and the
// decryption of the data behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ZipDecryption {
 public:
  // The keys of `password` (its bytes as stored in the archive's code page).
  explicit ZipDecryption(const std::string& password);

  // Decrypts the encryption header that opens an entry's data, which moves
  // the keys on to the data. True when the header's last byte is `check`
  // (the high byte of the entry's CRC, or of its modification time when a
  // data descriptor follows the data): else the password is not the entry's.
  bool OpenHeader(const char (&header)[12], std::uint8_t check);

  // Decrypts the next `length` bytes of the entry's data in place.
  void Decrypt(char* data, std::size_t length);

 private:
  void Update(std::uint8_t plain);
  std::uint8_t KeyStream() const;

  std::uint32_t keys_[3];
};

// The length of the encryption header in front of an encrypted entry's data.
constexpr std::uint64_t kZipEncryptionHeader = 12;
