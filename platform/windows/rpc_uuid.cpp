// UuidCreate of the RPC runtime (rpcrt4).
#include "platform/rpc_uuid.h"

#include "platform/windows/windows_api.h"

#include <rpc.h>

namespace win {

LONG UuidCreate(GUID* uuid) {
  if (!uuid) return RPC_S_INVALID_ARG;
  ::UUID system{};
  const ::RPC_STATUS status = ::UuidCreate(&system);
  uuid->Data1 = system.Data1;
  uuid->Data2 = system.Data2;
  uuid->Data3 = system.Data3;
  for (int i = 0; i < 8; ++i) uuid->Data4[i] = system.Data4[i];
  return status;
}

}  // namespace win
