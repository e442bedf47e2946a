// libFuzzer target for the Authenticode verifier: arbitrary bytes as a PE file
// must give a result, never a crash or an out-of-bounds read. Not part of the
// normal build; build and run it from the source folder with
//
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//     fuzz/authenticode_fuzz.cpp platform/authenticode.cpp platform/pe_image.cpp \
//     -lcrypto -o authenticode_fuzz
//   ./authenticode_fuzz -max_len=65536 corpus/
//
// Seed the corpus with signed images (tools/make_pe, tools/sign-test-pe.sh).
// Set BVL_FUZZ_ROOTS to a PEM bundle to let chains verify.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/authenticode.h"

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
