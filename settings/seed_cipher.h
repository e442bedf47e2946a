// SEED (128-bit block cipher, RFC 4269) in CBC mode with PKCS#7 padding, and
// the encryption of service information sent to the management server.
#pragma once

#include <cstddef>
#include <string>

// Encrypts one 16-byte block with SEED under `key`.
void SeedEncryptBlock(const unsigned char key[16], const unsigned char in[16], unsigned char out[16]);

// SEED-CBC of `plaintext` with PKCS#7 padding (always at least one padding
// byte, so the ciphertext is 16 * (length / 16 + 1) bytes), returned as
// base64 text.
std::string SeedCbcEncrypt(const unsigned char key[16], const unsigned char iv[16], const unsigned char* plaintext,
                           std::size_t length);

// Encrypts `plain` (taken as UTF-8) with the key and IV given as 16-character
// texts; returns the base64 ciphertext, or an empty text for an empty `plain`.
std::wstring EncryptServiceInfo(const std::wstring& plain, const std::wstring& keyText, const std::wstring& ivText);
