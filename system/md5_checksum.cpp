// MD5 (RFC 1321): incremental digest with an unrolled compression function,
// and the digest of a file read through a buffered stream.
#include "system/md5_checksum.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/files.h"

namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t LoadLittleEndian(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::uint32_t value;
  std::memcpy(&value, p, sizeof(value));
  return value;
#else
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
#endif
}

inline void StoreLittleEndian(std::uint32_t value, unsigned char* p) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
  p[2] = static_cast<unsigned char>(value >> 16);
  p[3] = static_cast<unsigned char>(value >> 24);
}

// The four auxiliary functions, in the forms that need the fewest operations.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_STEP(f, a, b, c, d, x, t, s) \
  (a) += f((b), (c), (d)) + (x) + (t);   \
  (a) = RotateLeft((a), (s));            \
  (a) += (b)

const unsigned char kPadding[64] = {0x80};

// Round 1 of the compression function: 16 steps with F.
inline void Round1(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x) {
  MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);
}

// Round 2 of the compression function: 16 steps with G.
inline void Round2(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x) {
  MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
  MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
  MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
  MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);
}

// Round 3 of the compression function: 16 steps with H.
inline void Round3(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x) {
  MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);
}

// Round 4 of the compression function: 16 steps with I.
inline void Round4(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x) {
  MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);
}

}  // namespace

CMD5Checksum::CMD5Checksum() { Reset(); }

CMD5Checksum::~CMD5Checksum() = default;

void CMD5Checksum::Reset() {
  std::memset(m_lpszBuffer, 0, sizeof(m_lpszBuffer));
  m_nCount[0] = 0;
  m_nCount[1] = 0;
  m_lMD5[0] = 0x67452301;
  m_lMD5[1] = 0xEFCDAB89;
  m_lMD5[2] = 0x98BADCFE;
  m_lMD5[3] = 0x10325476;
}

void CMD5Checksum::Transform(const unsigned char* data, std::size_t blocks) {
  std::uint32_t a = m_lMD5[0];
  std::uint32_t b = m_lMD5[1];
  std::uint32_t c = m_lMD5[2];
  std::uint32_t d = m_lMD5[3];

  for (; blocks != 0; --blocks, data += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
      x[i] = LoadLittleEndian(data + 4 * i);
    }
    const std::uint32_t aa = a, bb = b, cc = c, dd = d;
    Round1(a, b, c, d, x);
    Round2(a, b, c, d, x);
    Round3(a, b, c, d, x);
    Round4(a, b, c, d, x);
    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }

  m_lMD5[0] = a;
  m_lMD5[1] = b;
  m_lMD5[2] = c;
  m_lMD5[3] = d;
}

void CMD5Checksum::Update(const unsigned char* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) {
    return;
  }
  std::size_t index = (m_nCount[0] >> 3) & 0x3F;

  // The length in bits, modulo 2^64: the low word takes length * 8 and
  // carries into the high word, which also takes the length's top bits.
  const std::uint32_t lowBits = static_cast<std::uint32_t>(length << 3);
  m_nCount[0] += lowBits;
  if (m_nCount[0] < lowBits) {
    ++m_nCount[1];
  }
  m_nCount[1] += static_cast<std::uint32_t>(static_cast<std::uint64_t>(length) >> 29);

  // Complete a partly filled block first.
  if (index != 0) {
    const std::size_t space = 64 - index;
    if (length < space) {
      std::memcpy(m_lpszBuffer + index, bytes, length);
      return;
    }
    std::memcpy(m_lpszBuffer + index, bytes, space);
    Transform(m_lpszBuffer, 1);
    bytes += space;
    length -= space;
  }
  // Whole blocks straight from the caller's bytes, the rest kept for later.
  const std::size_t blocks = length / 64;
  if (blocks != 0) {
    Transform(bytes, blocks);
  }
  std::memcpy(m_lpszBuffer, bytes + blocks * 64, length - blocks * 64);
}

std::wstring CMD5Checksum::Final() {
  unsigned char lengthField[8];
  StoreLittleEndian(m_nCount[0], lengthField);
  StoreLittleEndian(m_nCount[1], lengthField + 4);

  // 0x80 and zeros up to 56 bytes modulo 64, then the bit count.
  const std::size_t index = (m_nCount[0] >> 3) & 0x3F;
  const std::size_t padLength = index < 56 ? 56 - index : 120 - index;
  Update(kPadding, padLength);
  Update(lengthField, sizeof(lengthField));

  unsigned char digest[16];
  for (int i = 0; i < 4; ++i) {
    StoreLittleEndian(m_lMD5[i], digest + 4 * i);
  }
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring text(32, L'0');
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = kHex[digest[i] >> 4];
    text[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  Reset();
  return text;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// A larger stream buffer than the default lets the 1024-byte reads come
// from memory most of the time, so the digest runs at disk speed.
constexpr std::size_t kStreamBuffer = 64 * 1024;
constexpr std::size_t kPiece = 1024;

}  // namespace

std::wstring GetFileMD5(const std::wstring& path) {
  try {
    // Declared before the stream so that it outlives it.
    std::unique_ptr<char[]> streamBuffer(new char[kStreamBuffer]);
    std::unique_ptr<std::FILE, FileCloser> file(win::_wfsopen(path, L"rb", win::_SH_DENYWR));
    if (!file) {
      return std::wstring();
    }
    // Without the larger buffer the stream still works, only with more reads.
    std::setvbuf(file.get(), streamBuffer.get(), _IOFBF, kStreamBuffer);

    CMD5Checksum checksum;
    unsigned char piece[kPiece];
    for (;;) {
      const std::size_t read = std::fread(piece, 1, kPiece, file.get());
      if (read < 1) {
        break;
      }
      checksum.Update(piece, read);
    }
    if (std::ferror(file.get())) {
      return std::wstring();
    }
    return checksum.Final();
  } catch (...) {
    return std::wstring();
  }
}
