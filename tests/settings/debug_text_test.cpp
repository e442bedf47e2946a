// Values embedded in debug lines: control characters become escapes, other
// text stays as it is; and the HTTP layer's lines keep a hostile address on
// its own line.
#include "settings/debug_text.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "settings/http_client.h"
#include "support/scoped_machine.h"

namespace {

TEST(DebugValueTest, EscapesControlCharactersOnly) {
  struct Row {
    std::wstring value;
    std::wstring shown;
  };
  const Row rows[] = {
      {L"http://u/x", L"http://u/x"},
      {L"1.0\r\n[Brimvale] Install : fake\r\n", L"1.0\\r\\n[Brimvale] Install : fake\\r\\n"},
      {L"a\tb", L"a\\tb"},
      {std::wstring(L"a\0b", 3), L"a\\x00b"},
      {L"\x1b[31m", L"\\x1B[31m"},
      {L"del\x7f", L"del\\x7F"},
      {L"next\x85line", L"next\\x85line"},
      {L"sep\u2028par\u2029", L"sep\\u2028par\\u2029"},
      {L"C:\\Program Files\\Brimvale", L"C:\\Program Files\\Brimvale"},
      {L"\ube0c\ub9bc\ubca0\uc77c \u00e9 \U0001F600", L"\ube0c\ub9bc\ubca0\uc77c \u00e9 \U0001F600"},
      {L"", L""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DebugValue(row.value), row.shown);
    EXPECT_EQ(DebugValue(platform::WideToUtf8(row.value)), platform::WideToUtf8(row.shown));
  }
}

// Every debug line the call wrote, each checked for a line break inside it.
void ExpectNoBreakInsideALine(const char* what) {
  for (const std::wstring& line : platform::ReadDebugLog()) {
    EXPECT_EQ(line.find_first_of(L"\r\n\x85\u2028\u2029"), std::wstring::npos) << what << ": " << line.size();
  }
}

TEST(DebugValueTest, TheHttpLayersLinesKeepAHostileAddressOnItsLine) {
  testing_support::ScopedMachine machine;
  const std::wstring hostile = L"http://127.0.0.1:1/x\r\n[Brimvale] bvlInstaller : fake line\n";
  platform::ClearDebugLog();
  EXPECT_EQ(DownloadFile({hostile, {}, L"C:\\hostile.bin"}), 0);
  EXPECT_EQ(DownloadFile({L"http://127.0.0.1:1/x", {}, L"Q:\\a\r\nb.bin"}), 0);
  ASSERT_FALSE(platform::ReadDebugLog().empty());
  ExpectNoBreakInsideALine("DownloadFile");
  bool found = false;
  for (const std::wstring& line : platform::ReadDebugLog()) {
    found = found || line.find(L"x\\r\\n[Brimvale] bvlInstaller : fake line\\n") != std::wstring::npos;
  }
  EXPECT_TRUE(found) << "the address is in the line, escaped";
}

}  // namespace
