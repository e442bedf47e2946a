// The SEED block cipher through libgcrypt (one block at a time: the callers
// chain the blocks themselves) and key wiping through the system.
#include "platform/crypto.h"

#include <cstdio>
#include <cstdlib>

#include "platform/win_types.h"
#include "platform/windows/windows_api.h"

#include <gcrypt.h>

// winbase.h makes SecureZeroMemory a macro for RtlSecureZeroMemory; the
// interface's function of that name is defined below.
#undef SecureZeroMemory

namespace win {

void SecureZeroMemory(void* memory, std::size_t length) { ::RtlSecureZeroMemory(memory, length); }

}  // namespace win

namespace platform {

namespace {

// libgcrypt must be initialised once, before its first use. The installer
// keeps no key in memory that must not be paged out, so no secure memory
// is set up (which would also warn on standard error).
void InitialiseGcrypt() {
  static const bool initialised = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)initialised;
}

// A library without SEED cannot encrypt the service information at all;
// the program stops rather than send something that is not SEED.
[[noreturn]] void CipherFailed(gcry_error_t error) {
  std::fprintf(stderr, "SEED cipher failed: %s\n", gcry_strerror(error));
  ::OutputDebugStringA("SEED cipher failed\r\n");
  std::abort();
}

}  // namespace

struct SeedBlockCipher::Schedule {
  gcry_cipher_hd_t handle = nullptr;
};

SeedBlockCipher::SeedBlockCipher(const unsigned char key[16]) : schedule_(std::make_unique<Schedule>()) {
  InitialiseGcrypt();
  gcry_error_t error = gcry_cipher_open(&schedule_->handle, GCRY_CIPHER_SEED, GCRY_CIPHER_MODE_ECB, 0);
  if (!error) error = gcry_cipher_setkey(schedule_->handle, key, 16);
  if (error) CipherFailed(error);
}

// gcry_cipher_close wipes the key schedule before it frees it.
SeedBlockCipher::~SeedBlockCipher() { gcry_cipher_close(schedule_->handle); }

void SeedBlockCipher::Encrypt(const unsigned char in[16], unsigned char out[16]) const {
  // In place when the blocks are one: libgcrypt wants no input then.
  const gcry_error_t error = in == out ? gcry_cipher_encrypt(schedule_->handle, out, 16, nullptr, 0)
                                       : gcry_cipher_encrypt(schedule_->handle, out, 16, in, 16);
  if (error) CipherFailed(error);
}

}  // namespace platform
