// The image button painted through the real owner-draw path (WM_PRINTCLIENT
// makes the button send WM_DRAWITEM to its host, which hands it back): the
// normal and the hover face, nothing at all in a state without a bitmap,
// the caption; the state rule, the double click and the check box's colours.
#include <gtest/gtest.h>

#include "ui/windows/windows_headers.h"

#include "app/resource.h"
#include "canvas.h"
#include "fonts.h"
#include "ui/windows/button.h"
#include "ui/windows/resbox.h"
#include "ui/windows/trans_button.h"

namespace {

using ui_test::Canvas;
using ui_test::Rgb;

const Rgb kSentinel{255, 0, 255};
const Rgb kBorder{170, 170, 170};

class ImageButtonTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { RESBOX::LoadImage({IDB_BUTTON_HOVER, IDB_BUTTON_NORMAL}, nullptr, 0x0412); }

  void SetUp() override {
    host_ = ui_test::CreateHostWindow(600, 300);
    ASSERT_NE(host_, nullptr);
    HWND control = ui_test::CreateChild(host_, L"BUTTON", BS_PUSHBUTTON, 1026, RECT{373, 265, 463, 290});
    ASSERT_TRUE(button_.SubclassWindow(control));
    // The licence page's agree button.
    button_.SetImages(RESBOX::GetImage(IDB_BUTTON_NORMAL), RESBOX::GetImage(IDB_BUTTON_HOVER));
    ASSERT_NE(button_.m_bitmaps[bvlui::kStateNormal], nullptr);
    button_.m_textColor = bvlui::ColorPair{0x707070, 1.0f};
    button_.SetTextFont(ui_test::kWizardFont, 12.0f);
    button_.SetWindowText(L"\ub3d9\uc758\ud568 >");
  }
  void TearDown() override { ::DestroyWindow(host_); }

  void Paint() {
    canvas_.Fill(kSentinel);
    ui_test::PrintClient(button_.m_hWnd, canvas_);
  }

  HWND host_ = nullptr;
  bvlui::ImageButton button_;
  Canvas canvas_{90, 25};
};

TEST_F(ImageButtonTest, TheSubclassedButtonIsOwnerDrawn) {
  EXPECT_EQ(::GetWindowLongPtrW(button_.m_hWnd, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
}

TEST_F(ImageButtonTest, NormalAndHoverFacesComeFromTheirBitmapsWithTheCaptionOver) {
  Paint();
  ASSERT_NE(button_.m_renderTarget.Get(), nullptr) << "Direct2D made no DC render target on this display";
  EXPECT_TRUE(ui_test::Near(canvas_.Pixel(0, 12), kBorder, 2));
  EXPECT_TRUE(ui_test::Near(canvas_.Pixel(4, 12), Rgb{255, 255, 255}, 2));
  // The caption, grey, in the middle; the face's ends are clear of it.
  const int captionPixels = canvas_.CountUnlike(RECT{10, 3, 80, 22}, Rgb{255, 255, 255}, 40);
  EXPECT_GT(captionPixels, 20);
  EXPECT_EQ(canvas_.CountUnlike(RECT{1, 1, 8, 24}, Rgb{255, 255, 255}, 2), 0);

  ::SendMessageW(button_.m_hWnd, WM_MOUSEHOVER, 0, MAKELPARAM(10, 10));
  EXPECT_TRUE(button_.m_hovered);
  Paint();
  EXPECT_TRUE(ui_test::Near(canvas_.Pixel(4, 12), Rgb{248, 248, 248}, 2));
  EXPECT_TRUE(ui_test::Near(canvas_.Pixel(0, 12), kBorder, 2));

  ::SendMessageW(button_.m_hWnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(button_.m_hovered);
  Paint();
  EXPECT_TRUE(ui_test::Near(canvas_.Pixel(4, 12), Rgb{255, 255, 255}, 2));
}

TEST_F(ImageButtonTest, AStateWithoutABitmapDrawsNothingNotEvenTheCaption) {
  ::SendMessageW(button_.m_hWnd, BM_SETSTATE, TRUE, 0);
  Paint();
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 90, 25}, kSentinel, 0), 0) << "pressed";
  ::SendMessageW(button_.m_hWnd, BM_SETSTATE, FALSE, 0);
  ::EnableWindow(button_.m_hWnd, FALSE);
  Paint();
  EXPECT_EQ(canvas_.CountUnlike(RECT{0, 0, 90, 25}, kSentinel, 0), 0) << "disabled";
}

TEST_F(ImageButtonTest, ACaptionOffsetMovesTheCaptionByHalfOfIt) {
  auto firstColumn = [this] {
    for (int x = 2; x < 88; ++x) {
      if (canvas_.CountUnlike(RECT{x, 2, x + 1, 23}, Rgb{255, 255, 255}, 40) != 0) return x;
    }
    return -1;
  };
  Paint();
  const int centred = firstColumn();
  button_.m_captionOffsetX = 8;
  Paint();
  ASSERT_GT(centred, 0);
  EXPECT_NEAR(firstColumn() - centred, 4, 1);
}

TEST(ButtonStateTest, SelectedWinsOverDisabledAndDisabledOverHover) {
  EXPECT_EQ(bvlui::ButtonStateIndex(0, false), bvlui::kStateNormal);
  EXPECT_EQ(bvlui::ButtonStateIndex(0, true), bvlui::kStateHover);
  EXPECT_EQ(bvlui::ButtonStateIndex(ODS_SELECTED | ODS_DISABLED, true), bvlui::kStatePressed);
  EXPECT_EQ(bvlui::ButtonStateIndex(ODS_DISABLED, true), bvlui::kStateDisabled);
  EXPECT_EQ(bvlui::ButtonStateIndex(ODS_FOCUS, false), bvlui::kStateNormal);
}

TEST(ButtonStateTest, ADoubleClickOnTheButtonIsASecondPress) {
  HWND host = ui_test::CreateHostWindow(200, 100);
  bvlui::ImageButton button;
  ASSERT_TRUE(button.SubclassWindow(ui_test::CreateChild(host, L"BUTTON", BS_PUSHBUTTON, 1027, RECT{0, 0, 90, 25})));
  MSG own = {};
  own.hwnd = button.m_hWnd;
  own.message = WM_LBUTTONDBLCLK;
  EXPECT_FALSE(button.PreTranslateMessage(&own));
  EXPECT_EQ(own.message, static_cast<UINT>(WM_LBUTTONDOWN));
  MSG other = own;
  other.hwnd = host;
  other.message = WM_LBUTTONDBLCLK;
  button.PreTranslateMessage(&other);
  EXPECT_EQ(other.message, static_cast<UINT>(WM_LBUTTONDBLCLK)) << "only the button's own messages change";
  ::DestroyWindow(host);
}

TEST(TransButtonTest, TheCheckBoxPaintsGreyTextOnWhite) {
  HWND host = ui_test::CreateHostWindow(200, 100);
  CTransButton check;
  ASSERT_TRUE(check.SubclassWindow(ui_test::CreateChild(host, L"BUTTON", BS_AUTOCHECKBOX, 1025, RECT{18, 80, 36, 98})));
  Canvas canvas(4, 4);
  ::SetTextColor(canvas.dc(), RGB(1, 2, 3));
  ::SetBkColor(canvas.dc(), RGB(4, 5, 6));
  // What the check box's host receives, as the system sends it.
  const LRESULT brush = ::SendMessageW(host, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()),
                                       reinterpret_cast<LPARAM>(check.m_hWnd));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(check.m_brush));
  LOGBRUSH described = {};
  ASSERT_NE(::GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof described, &described), 0);
  EXPECT_EQ(described.lbColor, RGB(255, 255, 255));
  EXPECT_EQ(::GetTextColor(canvas.dc()), RGB(77, 77, 77));
  EXPECT_EQ(::GetBkColor(canvas.dc()), RGB(255, 255, 255));
  ::DestroyWindow(host);
}

}  // namespace
