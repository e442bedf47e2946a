// The component catalogue's key order (UTF-16 code units, as the catalogue
// lists its components) and the folder names of the known archives: texts
// only, no machine.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/install_engine.h"
#include "system/component_info.h"

namespace {

struct OrderRow {
  std::wstring left;
  std::wstring right;
  bool leftFirst;
};

class KeyOrder : public testing::TestWithParam<OrderRow> {};

TEST_P(KeyOrder, ComparesUtf16CodeUnits) {
  const OrderRow& row = GetParam();
  Utf16Less less;
  EXPECT_EQ(less(row.left, row.right), row.leftFirst);
  EXPECT_EQ(less(row.right, row.left), !row.leftFirst && row.left != row.right);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyOrder,
    testing::Values(OrderRow{L"B", L"b", true},                        // upper case before lower case
                    OrderRow{L"bvlUninstaller.exe", L"bvlchk.exe", true},  // 'U' (0x55) before 'c'
                    OrderRow{L"cef", L"cef.zip", true},                // a prefix first
                    OrderRow{L"", L"a", true},
                    OrderRow{L"same", L"same", false},
                    OrderRow{L"\U00010000", L"\uE000", true},          // a surrogate pair before U+E000
                    OrderRow{L"\U0010FFFF", L"\uFFFF", true},
                    OrderRow{L"\uD7FF", L"\U00010000", true},          // below the surrogates
                    OrderRow{L"a\U0001F600", L"a\uFB01", true},
                    OrderRow{L"\U00010400", L"\U00010000z", false},    // high units equal, low decides
                    OrderRow{L"\u00E9", L"\u0100", true}));

TEST(ArchiveFolderName, NamesOnlyTheKnownArchives) {
  const std::vector<std::pair<std::wstring, std::wstring>> rows = {
      {L"cef.zip", L"cef"},           {L"webview.zip", L"webview"}, {L"CEF.zip", L"CEF.zip"},
      {L"cef.ZIP", L"cef.ZIP"},       {L"other.zip", L"other.zip"}, {L"bvlsvc.exe", L"bvlsvc.exe"},
      {L"xcef.zip", L"xcef.zip"},     {L"", L""},
  };
  for (const auto& [name, folder] : rows) EXPECT_EQ(ArchiveFolderName(name), folder) << name;
}

}  // namespace
