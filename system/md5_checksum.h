// MD5 digests (RFC 1321) of data and of files, as 32 lowercase hex digits;
// the installer compares them with the digests its package lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMD5Checksum {
 public:
  CMD5Checksum();
  virtual ~CMD5Checksum();

  // Adds bytes to the digest.
  void Update(const unsigned char* bytes, std::size_t length);
  // Pads the message, returns its digest as 32 lowercase hex digits and
  // starts over, so the object can digest another message.
  std::wstring Final();

  // The message length so far in bits, as the two 32-bit words of the
  // digest's length field (low word first).
  std::uint32_t BitCountLow() const { return m_nCount[0]; }
  std::uint32_t BitCountHigh() const { return m_nCount[1]; }

 private:
  void Reset();
  // Runs the compression function over `blocks` consecutive 64-byte blocks.
  void Transform(const unsigned char* data, std::size_t blocks);

  unsigned char m_lpszBuffer[64];  // bytes of the block being filled
  std::uint32_t m_nCount[2];       // bit count, low word first
  std::uint32_t m_lMD5[4];         // chaining state A, B, C, D
};

// MD5 of a file's contents, read in 1024-byte pieces; empty when the file
// cannot be opened or read.
std::wstring GetFileMD5(const std::wstring& path);
