// The native label painted through its window: the background alone without
// text, the text placed by its alignment, and a text set from another thread
// asking for a repaint.
#include <gtest/gtest.h>

#include "ui/windows/windows_headers.h"

#include <thread>

#include "canvas.h"
#include "fonts.h"
#include "ui/windows/d2d1_label.h"

namespace {

using ui_test::Canvas;
using ui_test::Rgb;

const Rgb kGreen{0, 165, 81};
// "브림베일 설치하기"
const wchar_t kTitle[] = L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58\ud558\uae30";

class LabelTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = ui_test::CreateHostWindow(400, 100);
    ASSERT_NE(host_, nullptr);
    HWND control = ui_test::CreateChild(host_, L"STATIC", SS_LEFT, 1029, RECT{40, 12, 260, 42});
    ASSERT_TRUE(label_.SubclassWindow(control));
    // The title bar's label.
    label_.m_fontFamily = ui_test::kWizardFont;
    label_.m_fontSize = 12.0f;
    label_.m_textAlignment = bvlui::kTextAlignmentLeading;
    label_.m_paragraphAlignment = bvlui::kParagraphAlignmentCenter;
    label_.m_backgroundColor = D2D1_COLOR_F{0.0f, 0.647f, 0.318f, 1.0f};
    label_.m_textColor = D2D1_COLOR_F{1, 1, 1, 1};
  }
  void TearDown() override { ::DestroyWindow(host_); }

  void Paint() {
    canvas_.Fill(Rgb{255, 0, 255});
    ui_test::PrintClient(label_.m_hWnd, canvas_);
    ASSERT_NE(label_.m_renderTarget.Get(), nullptr) << "Direct2D made no DC render target on this display";
  }
  // The first and last column of the canvas in which some pixel is not the
  // background; -1 when there is none.
  struct Columns {
    int first, last;
  };
  Columns TextColumns() const {
    int first = -1, last = -1;
    for (int x = 0; x < canvas_.width(); ++x) {
      if (canvas_.CountUnlike(RECT{x, 0, x + 1, canvas_.height()}, kGreen, 2) == 0) continue;
      if (first < 0) first = x;
      last = x;
    }
    return {first, last};
  }

  HWND host_ = nullptr;
  bvlui::D2D1Label label_;
  Canvas canvas_{220, 30};
};

TEST_F(LabelTest, WithoutTextOnlyTheBackgroundIsPainted) {
  label_.SetWindowText(L"");
  Paint();
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 220, 30}, kGreen, 1), 0);
}

TEST_F(LabelTest, TheTextIsPaintedWhiteOnTheBackgroundWhereItsAlignmentPutsIt) {
  label_.SetWindowText(kTitle);
  Paint();
  EXPECT_EQ(canvas_.Pixel(0, 0), kGreen);
  EXPECT_EQ(canvas_.Pixel(219, 29), kGreen);
  // The glyphs: some pixels are (nearly) white.
  EXPECT_GT(canvas_.CountUnlike(RECT{0, 0, 220, 30}, kGreen, 40), 30);
  int white = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 220; ++x) white += ui_test::Near(canvas_.Pixel(x, y), Rgb{255, 255, 255}, 30) ? 1 : 0;
  }
  EXPECT_GT(white, 10);
  const auto leading = TextColumns();
  EXPECT_GE(leading.first, 0);
  EXPECT_LT(leading.first, 10) << "leading text starts at the left edge";
  // Centred vertically: the rows above and below the text are background.
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 220, 3}, kGreen, 2), 0);
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 27, 220, 30}, kGreen, 2), 0);

  label_.m_textAlignment = bvlui::kTextAlignmentTrailing;
  Paint();
  const auto trailing = TextColumns();
  EXPECT_GT(trailing.last, 210) << "trailing text ends at the right edge";
  EXPECT_NEAR(trailing.last - trailing.first, leading.last - leading.first, 2) << "the same text, moved";
}

TEST_F(LabelTest, ATextSetFromAnotherThreadAsksForARepaint) {
  label_.SetWindowText(L"a");
  ::UpdateWindow(host_);
  ::ValidateRect(label_.m_hWnd, nullptr);
  ASSERT_FALSE(::GetUpdateRect(label_.m_hWnd, nullptr, FALSE));
  HWND window = label_.m_hWnd;
  std::thread worker([window] { ::SetWindowTextW(window, kTitle); });
  // The worker's call is carried out by this thread: serve it.
  for (int round = 0; round < 500 && label_.GetWindowText() != kTitle; ++round) {
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ::Sleep(2);
  }
  worker.join();
  EXPECT_EQ(label_.GetWindowText(), kTitle);
  EXPECT_TRUE(::GetUpdateRect(label_.m_hWnd, nullptr, FALSE));
}

}  // namespace
