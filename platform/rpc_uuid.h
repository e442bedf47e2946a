// UuidCreate of the RPC runtime: random (version 4) identifiers.
#pragma once

#include "platform/win_types.h"

namespace win {

struct GUID {
  DWORD Data1 = 0;
  WORD Data2 = 0;
  WORD Data3 = 0;
  BYTE Data4[8] = {};
};

constexpr LONG RPC_S_OK = 0;
// A new random identifier: version 4, RFC 4122 variant. Always RPC_S_OK.
LONG UuidCreate(GUID* uuid);

}  // namespace win
