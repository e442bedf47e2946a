// The trust provider's action and the identifier comparison, the same for
// both implementations.
#include <cstring>

#include "platform/trust.h"

namespace win {

const GUID WINTRUST_ACTION_GENERIC_VERIFY_V2 = {
    0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

}  // namespace win
