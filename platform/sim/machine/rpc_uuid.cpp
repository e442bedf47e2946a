// Random identifiers from the host's random source.
#include "platform/rpc_uuid.h"

#include <random>

namespace win {

LONG UuidCreate(GUID* uuid) {
  std::random_device source;
  BYTE bytes[16];
  for (int i = 0; i < 16; i += 4) {
    const unsigned value = source();
    for (int k = 0; k < 4; ++k) bytes[i + k] = static_cast<BYTE>(value >> (8 * k));
  }
  bytes[6] = static_cast<BYTE>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<BYTE>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  uuid->Data1 = static_cast<DWORD>(bytes[0]) << 24 | static_cast<DWORD>(bytes[1]) << 16 |
                static_cast<DWORD>(bytes[2]) << 8 | bytes[3];
  uuid->Data2 = static_cast<WORD>(bytes[4] << 8 | bytes[5]);
  uuid->Data3 = static_cast<WORD>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) uuid->Data4[i] = bytes[8 + i];
  return RPC_S_OK;
}

}  // namespace win
