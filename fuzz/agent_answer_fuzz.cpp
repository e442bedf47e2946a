// libFuzzer target for the reading of the agent server's answers: arbitrary
// bytes as the body of /v2/agent-request-urls or /v2/versions are decoded as
// RequestJson hands them over (UTF-8), parsed by ParseJson and searched for
// the members the installer takes ("update", "mqtt", "webview"."version"),
// the update address checked for control characters as the token intake
// does. Any bytes must give a value or null, and a refused answer must leave
// the parser's reason in the debug output.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "settings/http_client.h"
#include "settings/http_common.h"

namespace {

// Only a text that holds the literal null can parse to null without a reason
// to report (the parser skips blanks and comments around the value).
bool MayBeNull(const std::string& text) { return text.find("null") != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::UseFreshMachine();
  platform::ClearDebugLog();
  const std::wstring body = platform::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));

  const JsonValue answer = ParseJson(body);
  const std::wstring update = JsonToString(JsonMember(answer, L"update"));
  http_common::HasControlCharacter(update);
  JsonToString(JsonMember(answer, L"mqtt"));
  JsonToString(JsonMember(JsonMember(answer, L"webview"), L"version"));

  if (answer.is_null() && !MayBeNull(platform::WideToUtf8(body)) && platform::ReadDebugLog().empty()) {
    __builtin_trap();
  }
  return 0;
}
