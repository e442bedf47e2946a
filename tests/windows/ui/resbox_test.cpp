// The native resource tables filled from this program's own resources (the
// installer's, linked in): image sizes and alpha, a text, the licence block,
// lookups of ids never loaded, and the logo drawn with its transparency.
#include <gtest/gtest.h>

#include "ui/windows/windows_headers.h"

#include <cstring>
#include <string>

#include "app/resource.h"
#include "canvas.h"
#include "ui/windows/bitmap_pixels.h"
#include "ui/windows/render_target.h"
#include "ui/windows/resbox.h"

namespace {

constexpr WORD kKorean = 0x0412;

class ResboxTest : public testing::Test {
 protected:
  void SetUp() override { RESBOX::Clear(); }
  void TearDown() override { RESBOX::Clear(); }
};

SIZE SizeOf(HBITMAP bitmap) {
  BITMAP described = {};
  if (::GetObjectW(bitmap, sizeof described, &described) == 0) return SIZE{0, 0};
  return SIZE{described.bmWidth, described.bmHeight};
}

TEST_F(ResboxTest, TheEightImagesLoadWithTheirSizes) {
  RESBOX::LoadImage({1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108}, nullptr, kKorean);
  struct Row {
    unsigned id;
    LONG width, height;
  };
  for (const Row& row : {Row{1101, 13, 18}, Row{1102, 90, 25}, Row{1105, 90, 25}, Row{1106, 18, 18}, Row{1108, 18, 18}}) {
    HBITMAP bitmap = RESBOX::GetImage(row.id);
    ASSERT_NE(bitmap, nullptr) << row.id;
    const SIZE size = SizeOf(bitmap);
    EXPECT_EQ(size.cx, row.width) << row.id;
    EXPECT_EQ(size.cy, row.height) << row.id;
  }
  // The grey face is (112, 112, 112) throughout, opaque.
  bvlui::BitmapPixels grey;
  ASSERT_TRUE(bvlui::ReadBitmapPixels(RESBOX::GetImage(1102), &grey));
  EXPECT_EQ(grey.pixels[0], 0xFF707070u);
  EXPECT_EQ(grey.pixels[45 + 12 * 90], 0xFF707070u);
}

TEST_F(ResboxTest, TheLogoKeepsItsTransparencyAndDrawsWhiteOnGreen) {
  RESBOX::LoadImage({IDB_LOGO}, nullptr, kKorean);
  HBITMAP logo = RESBOX::GetImage(IDB_LOGO);
  ASSERT_NE(logo, nullptr);
  bvlui::BitmapPixels pixels;
  ASSERT_TRUE(bvlui::ReadBitmapPixels(logo, &pixels));
  EXPECT_EQ(pixels.pixels[0] >> 24, 0u) << "the corner is transparent";
  EXPECT_EQ(pixels.pixels[2 + 2 * 13], 0xFFFFFFFFu) << "the shield is opaque white";

  // Drawn as the main window draws it: on the title bar's green, 1:1.
  ui_test::Canvas canvas(13, 18);
  bvlui::DCRenderTarget target;
  ASSERT_TRUE(target.BindDC(canvas.dc(), RECT{0, 0, 13, 18})) << "Direct2D made no DC render target on this display";
  target.BeginDraw();
  target.Clear(bvlui::ColorF(0, 165, 81));
  target.DrawBitmap(logo, D2D1_RECT_F{0, 0, 13, 18}, 1.0f);
  ASSERT_TRUE(target.EndDraw());
  EXPECT_TRUE(ui_test::Near(canvas.Pixel(0, 0), ui_test::Rgb{0, 165, 81}, 2));
  EXPECT_TRUE(ui_test::Near(canvas.Pixel(2, 2), ui_test::Rgb{255, 255, 255}, 2));
  EXPECT_TRUE(ui_test::Near(canvas.Pixel(5, 5), ui_test::Rgb{0, 165, 81}, 2)) << "the notch shows the green";
}

TEST_F(ResboxTest, TextAndLicenceBlockComeFromTheProgram) {
  RESBOX::LoadString({300, 306}, kKorean, nullptr);
  RESBOX::LoadBinary({IDR_LICENSE_RTF}, nullptr, kKorean);
  EXPECT_EQ(RESBOX::GetString(306), L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58\ud558\uae30");
  EXPECT_TRUE(RESBOX::GetString(300).empty());
  const RESBOX::Binary licence = RESBOX::GetBinary(IDR_LICENSE_RTF);
  ASSERT_NE(licence.data, nullptr);
  ASSERT_GT(licence.size, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(licence.data), 6), "{\\rtf1");
  // The block is the resource's bytes, as many as the resource has.
  HRSRC found = ::FindResourceExW(nullptr, L"RTF", MAKEINTRESOURCEW(IDR_LICENSE_RTF), kKorean);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(licence.size, ::SizeofResource(nullptr, found));
}

TEST_F(ResboxTest, AnIdNeverLoadedIsNullAndLeavesAnEntryThatALoadReplaces) {
  EXPECT_FALSE(RESBOX::HasImageEntry(1106));
  EXPECT_EQ(RESBOX::GetImage(1106), nullptr);
  EXPECT_TRUE(RESBOX::HasImageEntry(1106));
  RESBOX::LoadImage({1106, 4242}, nullptr, kKorean);
  EXPECT_NE(RESBOX::GetImage(1106), nullptr);
  EXPECT_EQ(RESBOX::GetImage(4242), nullptr) << "a missing resource stores nothing";
  EXPECT_EQ(RESBOX::GetBinary(201).data, nullptr);
}

}  // namespace
