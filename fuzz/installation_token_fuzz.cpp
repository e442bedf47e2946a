// libFuzzer target for the installation token: arbitrary bytes as the
// installer's module path (UTF-8, as the host names files) go through the
// token intake of start-up short of the server request: the token between
// the brackets, its lenient base64 decoding, the server address up to the
// first NUL and its SEED-CBC form for the registry. Besides never crashing:
// the token is what the path holds between its brackets, the decoded buffer
// is as long as the token's ANSI text, an address encoded as a token decodes
// back to itself, and the stored form has the length of its padded blocks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/codepage.h"
#include "settings/base64.h"
#include "settings/installation_token.h"
#include "settings/seed_cipher.h"
#include "system/kv_system.h"

namespace {

std::string AnsiText(const std::wstring& text) {
  return kvutil::KVSystem::ConvertToMultiByte(text, win::CP_THREAD_ACP);
}

// The length of the base64 text of `bytes` bytes.
std::size_t Base64Length(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::UseFreshMachine();
  const std::wstring modulePath = platform::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));

  const std::wstring token = ExtractToken(modulePath);
  if (token.empty()) return 0;
  if (token.find(L']') != std::wstring::npos || modulePath.find(L'[' + token + L']') == std::wstring::npos) {
    __builtin_trap();
  }

  const auto decoded = DecodeToken(token);
  if (!decoded) return 0;
  if (decoded->size() != AnsiText(token).size()) __builtin_trap();

  // The server address as the intake keeps it: the bytes up to the first NUL.
  const std::string addressBytes(decoded->begin(), std::find(decoded->begin(), decoded->end(), 0));
  const std::wstring address = kvutil::KVSystem::ConvertToWide(addressBytes, win::CP_THREAD_ACP);

  // The same bytes written as a token come back unchanged.
  const std::string again = Base64Encode(reinterpret_cast<const unsigned char*>(addressBytes.data()),
                                         addressBytes.size());
  if (!addressBytes.empty()) {
    const auto roundTrip = DecodeToken(platform::Utf8ToWide(again));
    if (!roundTrip || roundTrip->size() < addressBytes.size() ||
        !std::equal(addressBytes.begin(), addressBytes.end(), roundTrip->begin(),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; })) {
      __builtin_trap();
    }
  }

  const std::wstring serviceInfo = EncryptServiceInfo(address, kServiceInfoKey, kServiceInfoIv);
  const std::size_t plainLength = platform::WideToUtf8(address).size();
  const std::size_t expected = address.empty() ? 0 : Base64Length(16 * (plainLength / 16 + 1));
  if (serviceInfo.size() != expected) __builtin_trap();
  return 0;
}
