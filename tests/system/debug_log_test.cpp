// The shared pieces of the system layer's debug lines and paths: a line goes
// out exactly as given, error codes print as "%d" prints them, and path
// buffers filled by Windows calls are read no further than they reach.
#include "system/debug_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "support/scoped_machine.h"
#include "system/path_text.h"

namespace {

TEST(DebugLog, EachLineGoesOutAsGivenLineEndingsIncluded) {
  testing_support::ScopedMachine machine("win10-x64");
  platform::ClearDebugLog();
  LogDebugLine(L"[Brimvale] Install : Fail to find schtasks.exe\n");
  LogDebugLine(L"[brimvale] install Fail");
  LogDebugLine(L"\uc2e4\ud328 \r\n");
  EXPECT_EQ(platform::ReadDebugLog(), (std::vector<std::wstring>{L"[Brimvale] Install : Fail to find schtasks.exe\n",
                                                                  L"[brimvale] install Fail", L"\uc2e4\ud328 \r\n"}));
}

TEST(DebugLog, ErrorCodesPrintSignedAsPercentD) {
  EXPECT_EQ(ErrorNumber(0), L"0");
  EXPECT_EQ(ErrorNumber(1073), L"1073");
  // HRESULT-style codes and -1 come out negative, as "%d" of a DWORD prints them.
  EXPECT_EQ(ErrorNumber(0x80070005), L"-2147024891");
  EXPECT_EQ(ErrorNumber(0xFFFFFFFF), L"-1");
}

TEST(PathText, BufferTextStopsAtTheFirstNulOrTheBuffersEnd) {
  const wchar_t terminated[8] = L"C:\\a\0bc";
  EXPECT_EQ(BufferText(terminated, 8), L"C:\\a");
  // A call that filled the buffer to the brim leaves no NUL: the text is the
  // whole buffer and nothing behind it.
  const wchar_t filled[6] = {L'C', L':', L'\\', L'a', L'b', L'!'};
  EXPECT_EQ(BufferText(filled, 5), L"C:\\ab");
  EXPECT_EQ(BufferText(filled, 0), L"");
}

}  // namespace
