// A progress page stand-in for tests: records every status text and row the
// install engine reports, in order.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/progress_sink.h"

namespace testing_support {

struct RecordedRow {
  std::wstring text;
  bool replaceLast = false;
  unsigned percent = 0;

  bool operator==(const RecordedRow& other) const {
    return text == other.text && replaceLast == other.replaceLast && percent == other.percent;
  }
};

inline void PrintTo(const RecordedRow& row, std::ostream* out) {
  *out << "{" << testing::PrintToString(row.text) << ", " << (row.replaceLast ? "replace" : "append") << ", "
       << row.percent << "}";
}

class RecordingProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring& text) override { statusTexts.push_back(text); }
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) override {
    rows.push_back({text, replaceLast, percent});
  }

  std::vector<std::wstring> statusTexts;
  std::vector<RecordedRow> rows;
};

}  // namespace testing_support
