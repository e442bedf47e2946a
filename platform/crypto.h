// Cryptography the installer takes from the system's libraries: the SEED
// block cipher (RFC 4269) and the wiping of key material.
#pragma once

#include <cstddef>
#include <memory>

namespace win {

// Overwrites `length` bytes at `memory` with zeros in a way the compiler
// does not leave out, for keys and plaintext that must not outlive their use.
void SecureZeroMemory(void* memory, std::size_t length);

}  // namespace win

namespace platform {

// The SEED cipher under one 128-bit key: the key schedule is computed once
// and wiped when the object ends.
class SeedBlockCipher {
 public:
  explicit SeedBlockCipher(const unsigned char key[16]);
  ~SeedBlockCipher();
  SeedBlockCipher(const SeedBlockCipher&) = delete;
  SeedBlockCipher& operator=(const SeedBlockCipher&) = delete;

  // Encrypts one 16-byte block; `in` and `out` may be the same block.
  void Encrypt(const unsigned char in[16], unsigned char out[16]) const;

 private:
  struct Schedule;
  std::unique_ptr<Schedule> schedule_;
};

}  // namespace platform
