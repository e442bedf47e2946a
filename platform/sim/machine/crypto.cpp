// The SEED block cipher and key wiping through OpenSSL.
#include "platform/crypto.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/seed.h>

namespace win {

void SecureZeroMemory(void* memory, std::size_t length) { OPENSSL_cleanse(memory, length); }

}  // namespace win

namespace platform {

struct SeedBlockCipher::Schedule {
  SEED_KEY_SCHEDULE rounds;
};

SeedBlockCipher::SeedBlockCipher(const unsigned char key[16]) : schedule_(std::make_unique<Schedule>()) {
  SEED_set_key(key, &schedule_->rounds);
}

SeedBlockCipher::~SeedBlockCipher() { win::SecureZeroMemory(&schedule_->rounds, sizeof schedule_->rounds); }

void SeedBlockCipher::Encrypt(const unsigned char in[16], unsigned char out[16]) const {
  SEED_encrypt(in, out, &schedule_->rounds);
}

}  // namespace platform
