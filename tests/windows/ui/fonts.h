// The wizard's font family, "맑은 고딕" (the test run's prefix maps it to an
// installed Korean font).
#pragma once

namespace ui_test {
inline const wchar_t* const kWizardFont = L"\ub9d1\uc740 \uace0\ub515";
}  // namespace ui_test
