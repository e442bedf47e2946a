// How the manifest's text is cut into lines and fields: only non-empty
// pieces are kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/text_file.h"

namespace {

TEST(SplitText, KeepsOnlyNonEmptyPieces) {
  struct Row {
    std::wstring text, delimiter;
    std::vector<std::wstring> pieces;
  };
  const std::vector<Row> rows = {
      {L"a  b ", L" ", {L"a", L"b"}},
      {L"", L" ", {}},
      {L"\n\nx\n", L"\n", {L"x"}},
      {L"a\r\nb\r\n\r\nc", L"\r\n", {L"a", L"b", L"c"}},
      {L"a\rb", L"\r\n", {L"a\rb"}},
      {L"abc", L"", {L"abc"}},
      {L"   ", L" ", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(SplitText(row.text, row.delimiter), row.pieces) << row.text;
}

}  // namespace
