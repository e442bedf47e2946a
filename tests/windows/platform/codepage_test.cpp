// Text conversions on Windows, where a wide string is UTF-16: the system's
// code page conversions with their length protocol, and the program's own
// whole-string conversions, on valid and damaged text.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"

namespace {

using namespace win;

constexpr UINT kKorean = 949;
const std::wstring kProductName = L"\ube0c\ub9bc\ubca0\uc77c";  // the product's Korean name
const std::string kProductNameCp949("\xba\xea\xb8\xb2\xba\xa3\xc0\xcf", 8);

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

std::string ToBytes(UINT codePage, const std::wstring& text) {
  const int needed = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
  std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) {
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), needed,
                                  nullptr, nullptr),
              needed);
  }
  return bytes;
}

std::wstring ToWide(UINT codePage, const std::string& bytes) {
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
  if (needed > 0) {
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), needed),
              needed);
  }
  return text;
}

TEST(CodePageTest, KoreanConvertsBothWaysThroughCodePage949) {
  EXPECT_EQ(Hex(ToBytes(kKorean, kProductName)), Hex(kProductNameCp949));
  EXPECT_EQ(ToWide(kKorean, kProductNameCp949), kProductName);
  // A character code page 949 lacks becomes its default character.
  BOOL usedDefault = FALSE;
  char out[4] = {};
  EXPECT_EQ(WideCharToMultiByte(kKorean, 0, L"\u0e01", 1, out, 4, nullptr, &usedDefault), 1);
  EXPECT_EQ(out[0], '?');
  EXPECT_TRUE(usedDefault);
}

TEST(CodePageTest, TheLengthProtocolCountsTheNulAndRefusesSmallBuffers) {
  // -1: up to and including the NUL.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00e9t\u00e9", -1, nullptr, 0, nullptr, nullptr), 6);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xc3\xa9t\xc3\xa9", -1, nullptr, 0), 4);
  char small[3];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00e9t\u00e9", 3, small, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  wchar_t narrow[1];
  EXPECT_EQ(MultiByteToWideChar(kKorean, 0, kProductNameCp949.data(), 8, narrow, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePageTest, DamagedInputIsReplacedRatherThanRefused) {
  // An invalid UTF-8 byte becomes U+FFFD.
  EXPECT_EQ(ToWide(CP_UTF8, "a\xff" "b"), L"a\ufffd" L"b");
  // An unpaired surrogate becomes U+FFFD in UTF-8. (The simulated machine's
  // conversion writes "?" there.)
  EXPECT_EQ(Hex(ToBytes(CP_UTF8, std::wstring(L"a\xd800" L"b"))), Hex("a\xef\xbf\xbd" "b"));
  // A pair is one character of four bytes.
  EXPECT_EQ(Hex(ToBytes(CP_UTF8, L"\U0001F600")), "f09f9880");
}

TEST(WholeStringConversionTest, UnicodeBeyondSixteenBitsTravelsAsSurrogatePairs) {
  const std::wstring smile = L"\U0001F600x";
  ASSERT_EQ(smile.size(), 3u);  // a pair and one unit
  EXPECT_EQ(Hex(platform::WideToUtf8(smile)), "f09f988078");
  EXPECT_EQ(platform::Utf8ToWide("\xf0\x9f\x98\x80x"), smile);
  EXPECT_EQ(Hex(platform::WideToUtf8(kProductName)), Hex("\xeb\xb8\x8c\xeb\xa6\xbc\xeb\xb2\xa0\xec\x9d\xbc"));
  // UTF-16LE is the string's own units, low byte first; a pair stays a pair.
  EXPECT_EQ(Hex(platform::WideToUtf16Le(L"A\u00e9\U0001F600")), "4100e9003dd800de");
  EXPECT_EQ(platform::Utf16LeToWide(std::string("A\0\x3d\xd8\x00\xde\x7f", 7)), L"A\U0001F600");
}

TEST(WholeStringConversionTest, DamagedTextGivesOneReplacementPerBadUnit) {
  const struct {
    std::string utf8;
    std::wstring wide;
  } rows[] = {
      {"a\xff" "b", L"a\ufffd" L"b"},
      {"a\xe4\xb8" "b", L"a\ufffd\ufffd" L"b"},  // a sequence cut short: each byte on its own
      {"\x80", L"\ufffd"},
      {"\xf4\x90\x80\x80", L"\ufffd"},  // beyond U+10FFFF
  };
  for (const auto& row : rows) EXPECT_EQ(platform::Utf8ToWide(row.utf8), row.wide) << Hex(row.utf8);
  EXPECT_EQ(Hex(platform::WideToUtf8(std::wstring(L"a\xdc00\xd800", 3))), Hex("a\xef\xbf\xbd\xef\xbf\xbd"));
}

}  // namespace
