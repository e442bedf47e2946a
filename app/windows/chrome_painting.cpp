// The borderless windows' chrome through Direct2D.
#include "app/windows/chrome_painting.h"

#include "app/resource.h"
#include "app/wizard_look.h"
#include "ui/windows/resbox.h"

namespace {
D2D1_COLOR_F ToColor(WizardRgb rgb) { return bvlui::ColorF(rgb.r, rgb.g, rgb.b); }
}  // namespace

bool PaintDialogChrome(bvlui::DCRenderTarget* target, HWND window, HDC dc, int bandTop) {
  RECT client = {};
  ::GetClientRect(window, &client);
  if (target == nullptr || !target->BindDC(dc, client)) return false;
  const float width = static_cast<float>(client.right), height = static_cast<float>(client.bottom);
  target->BeginDraw();
  target->Clear(ToColor(kWhite));
  target->FillRectangle(D2D1::RectF(0, 0, width, kTitleBarHeight), ToColor(kTitleBarGreen));
  target->FillRectangle(D2D1::RectF(0, static_cast<float>(bandTop), width, height), ToColor(kButtonBandGrey));
  target->DrawRectangle(D2D1::RectF(0, 0, width, height), ToColor(kFrameGrey), kFrameStrokeWidth);
  target->DrawBitmap(RESBOX::GetImage(IDB_LOGO), D2D1::RectF(kLogoLeft, kLogoTop, kLogoRight, kLogoBottom), 1.0f);
  target->EndDraw();
  return true;
}

bool PaintWhitePage(bvlui::DCRenderTarget* target, HWND window, HDC dc) {
  RECT client = {};
  ::GetClientRect(window, &client);
  if (target == nullptr || !target->BindDC(dc, client)) return false;
  target->BeginDraw();
  target->Clear(ToColor(kWhite));
  target->EndDraw();
  return true;
}
