// Which text of the installer's path is its installation token: the first
// "[" and the first "]" after it.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "settings/installation_token.h"

namespace {

TEST(ExtractTokenTest, FirstOpeningAndFirstClosingBracketAfterIt) {
  struct Row {
    const wchar_t* path;
    const wchar_t* token;
  } rows[] = {
      {L"C:\\Downloads\\bvlInstaller[QUJD].exe", L"QUJD"},
      {L"C:\\[QQ==]\\bvlInstaller[QUJD].exe", L"QQ=="},
      {L"C:\\setup[].exe", L""},
      {L"C:\\setup.exe", L""},
      {L"C:\\setup]x[y.exe", L""},
      {L"C:\\a]b[tok]c.exe", L"tok"},
      {L"[only-open.exe", L""},
  };
  for (const Row& row : rows) EXPECT_EQ(ExtractToken(row.path), row.token) << platform::WideToUtf8(row.path);
}

}  // namespace
