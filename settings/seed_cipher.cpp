// SEED-CBC encryption of service information: the system's SEED block
// cipher, the CBC chaining and PKCS#7 padding done here, the result as base64.
#include "settings/seed_cipher.h"

#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/crypto.h"
#include "settings/base64.h"

namespace {

constexpr std::size_t kBlock = 16;

void XorBlock(unsigned char* block, const unsigned char* with) {
  for (std::size_t i = 0; i < kBlock; ++i) {
    block[i] ^= with[i];
  }
}

// The first 16 bytes of a key or IV text. A shorter text is zero-filled to
// 16 bytes so that a mistyped setting still gives a defined key.
void TextToBlock(const std::string& text, unsigned char block[16]) {
  std::memset(block, 0, kBlock);
  std::memcpy(block, text.data(), text.size() < kBlock ? text.size() : kBlock);
}

}  // namespace

void SeedEncryptBlock(const unsigned char key[16], const unsigned char in[16], unsigned char out[16]) {
  platform::SeedBlockCipher(key).Encrypt(in, out);
}

std::string SeedCbcEncrypt(const unsigned char key[16], const unsigned char iv[16], const unsigned char* plaintext,
                           std::size_t length) {
  if (key == nullptr || iv == nullptr || (plaintext == nullptr && length != 0)) {
    return std::string();
  }
  const platform::SeedBlockCipher seed(key);

  const std::size_t fullBlocks = length / kBlock;
  std::vector<unsigned char> cipher((fullBlocks + 1) * kBlock);
  unsigned char chain[kBlock];
  std::memcpy(chain, iv, kBlock);

  unsigned char block[kBlock];
  for (std::size_t n = 0; n < fullBlocks; ++n) {
    std::memcpy(block, plaintext + n * kBlock, kBlock);
    XorBlock(block, chain);
    seed.Encrypt(block, &cipher[n * kBlock]);
    std::memcpy(chain, &cipher[n * kBlock], kBlock);
  }

  // Last block: the remaining bytes and PKCS#7 padding (a whole block of 0x10
  // when the text is a multiple of 16 bytes).
  const std::size_t rest = length - fullBlocks * kBlock;
  const unsigned char pad = static_cast<unsigned char>(kBlock - rest);
  if (rest != 0) {
    std::memcpy(block, plaintext + fullBlocks * kBlock, rest);
  }
  std::memset(block + rest, pad, kBlock - rest);
  XorBlock(block, chain);
  seed.Encrypt(block, &cipher[fullBlocks * kBlock]);

  win::SecureZeroMemory(block, sizeof(block));
  return Base64Encode(cipher.data(), cipher.size());
}

std::wstring EncryptServiceInfo(const std::wstring& plain, const std::wstring& keyText, const std::wstring& ivText) {
  if (plain.empty()) {
    return std::wstring();
  }
  const std::string plainBytes = platform::WideToUtf8(plain);
  unsigned char key[kBlock];
  unsigned char iv[kBlock];
  TextToBlock(platform::WideToUtf8(keyText), key);
  TextToBlock(platform::WideToUtf8(ivText), iv);

  const std::string encrypted =
      SeedCbcEncrypt(key, iv, reinterpret_cast<const unsigned char*>(plainBytes.data()), plainBytes.size());
  win::SecureZeroMemory(key, sizeof(key));
  return platform::Utf8ToWide(encrypted);
}
