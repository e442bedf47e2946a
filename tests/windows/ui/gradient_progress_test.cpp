// The native gradient bar, painted through its window (WM_PRINTCLIENT) and
// read back: the button face when there is nothing to show, bands along the
// whole bar at the end, bands up to the first edge past the middle and the
// background after it at half way.
#include <gtest/gtest.h>

#include "ui/windows/windows_headers.h"
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "canvas.h"
#include "ui/windows/gradient_progress.h"

namespace {

using ui_test::Canvas;
using ui_test::Rgb;

// The band rule worked out here from the colours alone: the channel that
// changes most gives one band per step.
struct Bands {
  int r0, g0, b0, dR, dG, dB, count, length;
  Bands(Rgb start, Rgb end, int barLength)
      : r0(start.r), g0(start.g), b0(start.b), dR(end.r - start.r), dG(end.g - start.g), dB(end.b - start.b),
        count(std::max({std::abs(dR), std::abs(dG), std::abs(dB)})), length(barLength) {}
  int Edge(int i) const { return static_cast<int>(static_cast<float>(i) * (static_cast<float>(length) / count)); }
  // The band that covers `position` (thin bars have bands of no width).
  int BandAt(int position) const {
    int i = 0;
    while (i + 1 < count && Edge(i + 1) <= position) ++i;
    return i;
  }
  Rgb Colour(int i) const {
    auto channel = [&](int base, int delta) { return static_cast<int>(base + i * (static_cast<float>(delta) / count)) & 0xFF; };
    return Rgb{channel(r0, dR), channel(g0, dG), channel(b0, dB)};
  }
};

const Rgb kStart{197, 197, 170};
const Rgb kEnd{81, 165, 0};
const Rgb kBackground{240, 240, 250};

class GradientProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = ui_test::CreateHostWindow(400, 100);
    ASSERT_NE(host_, nullptr);
    HWND control = ui_test::CreateChild(host_, PROGRESS_CLASSW, 0, 1004, RECT{10, 10, 310, 30});
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(bar_.SubclassWindow(control));
    // The progress page's colours; a background of its own tells it from
    // the button face.
    bar_.m_startColor = 0x00AAC5C5;
    bar_.m_endColor = 0x0000A551;
    bar_.m_backgroundColor = RGB(kBackground.r, kBackground.g, kBackground.b);
  }
  void TearDown() override { ::DestroyWindow(host_); }

  void Paint(int position) {
    bar_.m_position = position;
    canvas_.Fill(Rgb{255, 0, 255});
    ui_test::PrintClient(bar_.m_hWnd, canvas_);
  }

  HWND host_ = nullptr;
  GradientProgress bar_;
  Canvas canvas_{300, 20};
};

TEST_F(GradientProgressTest, NothingToShowPaintsTheButtonFaceNotTheBackground) {
  const Rgb face = ui_test::FromColorRef(::GetSysColor(COLOR_BTNFACE));
  ASSERT_NE(face, kBackground);
  for (int position : {0, 101}) {
    Paint(position);
    EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 300, 20}, face, 0), 0) << "position " << position;
  }
  // A lower bound above zero: its own value is still empty.
  bar_.m_lower = 20;
  Paint(20);
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 300, 20}, face, 0), 0);
}

TEST_F(GradientProgressTest, AtAHundredBandsRunTheWholeLength) {
  Paint(100);
  const Bands bands(kStart, kEnd, 300);
  ASSERT_EQ(bands.count, 170);
  for (int i : {0, 1, 85, 169}) {
    for (int y : {0, 10, 19}) EXPECT_EQ(canvas_.Pixel(bands.Edge(i), y), bands.Colour(i)) << "band " << i << " row " << y;
  }
  EXPECT_EQ(canvas_.Pixel(299, 10), bands.Colour(169));
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 300, 20}, kBackground, 0), 300 * 20) << "no background at all";
}

TEST_F(GradientProgressTest, AtFiftyTheBandsStopAtTheFirstEdgePastTheMiddle) {
  Paint(50);
  const Bands bands(kStart, kEnd, 300);
  int last = 0;
  while (bands.Edge(last + 1) <= 150) ++last;
  const int edge = bands.Edge(last + 1);
  ASSERT_GT(edge, 150);
  EXPECT_EQ(canvas_.Pixel(0, 10), kStart);
  EXPECT_EQ(canvas_.Pixel(edge - 1, 10), bands.Colour(last));
  EXPECT_EQ(canvas_.CountUnlike(RECT{edge, 0, 300, 20}, kBackground, 0), 0);
}

TEST_F(GradientProgressTest, AVerticalBarRunsItsBandsDownwards) {
  ::SetWindowLongPtrW(bar_.m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(bar_.m_hWnd, GWL_STYLE) | PBS_VERTICAL);
  Paint(50);
  const Bands bands(kStart, kEnd, 20);
  // Ten of twenty rows: the first band whose bottom passes 10 is the last.
  int last = 0;
  while (bands.Edge(last + 1) <= 10) ++last;
  const int edge = bands.Edge(last + 1);
  EXPECT_EQ(canvas_.Pixel(150, 0), bands.Colour(bands.BandAt(0)));
  EXPECT_NE(bands.BandAt(0), 0) << "the first bands of a 20-pixel bar have no width";
  EXPECT_EQ(canvas_.Pixel(299, edge - 1), bands.Colour(last));
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, edge, 300, 20}, kBackground, 0), 0);
}

}  // namespace
