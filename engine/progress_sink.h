// What the install engine reports to the progress page: the status label's
// text and the rows of the outcome list with the bar's percent. The Qt page
// implements it; tests record the calls.
#pragma once

#include <string>

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetStatusText(const std::wstring& text) = 0;
  // Appends a row (or, with `replaceLast`, replaces the last row's text; on an
  // empty list only the bar moves) and moves the bar to `percent`.
  virtual void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) = 0;
};
