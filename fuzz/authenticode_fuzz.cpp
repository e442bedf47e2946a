// libFuzzer target for the Authenticode verifier: arbitrary bytes as a PE file
// must give a result, never a crash or an out-of-bounds read. Its seeds are
// the update host's images, signed and unsigned; BVL_FUZZ_ROOTS names a PEM
// bundle that lets their chains verify (tools/fuzz.sh sets it to the test
// PKI's roots).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/sim/images/authenticode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const platform::TrustedRoots roots = [] {
    const char* bundle = std::getenv("BVL_FUZZ_ROOTS");
    return bundle ? platform::TrustedRoots::FromPemFile(bundle) : platform::TrustedRoots();
  }();
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  platform::VerifyAuthenticode(image, roots);
  platform::AuthenticodeImageHash(image, "sha256");
  return 0;
}
