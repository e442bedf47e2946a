// bvlui::Button, the wizard's owner-drawn push button painted with Direct2D
// (hover after 1 ms, hand cursor while hovered, a double click acting as two
// clicks), and bvlui::ImageButton, which paints one bitmap per state with
// its caption centred over it.
#pragma once

#include "ui/windows/windows_headers.h"

#include <cstdint>
#include <string>

#include "ui/windows/com_ptr.h"
#include "ui/windows/native_window.h"
#include "ui/windows/render_target.h"

namespace bvlui {

// Button states, for drawing and for choosing the bitmap.
constexpr int kStateNormal = 0;
constexpr int kStateHover = 1;
constexpr int kStatePressed = 2;
constexpr int kStateDisabled = 3;

// The state drawn for an owner-draw item state (ODS_*) and the hover flag:
// selected wins over disabled, disabled over hover.
int ButtonStateIndex(UINT itemState, bool hovered);

// A colour as 0xRRGGBB with an alpha in 0..1.
struct ColorPair {
  std::uint32_t rgb = 0x000000;
  float alpha = 1.0f;
  D2D1_COLOR_F ToColorF() const {
    return ColorF(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF), alpha);
  }
};

class Button : public NativeWindow {
 public:
  Button();
  ~Button() override;

  // The caption's format: family and size in DIPs, normal weight, centred
  // both ways.
  void SetTextFont(const std::wstring& family, float size);

  bool PreTranslateMessage(MSG* message) override;
  bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  DWORD m_tracking = 0;  // a hover/leave request is outstanding
  bool m_hovered = false;
  bool m_handCursor = true;
  bool m_fillBackground = false;
  ColorPair m_textColor{0x000000, 1.0f};
  ColorPair m_secondTextColor{0x000000, 1.0f};  // set by the pages; drawing never reads it
  ColorPair m_backgroundColor{0xFFFFFF, 1.0f};
  ColorPair m_hoverBackgroundColor{0xFFFFFF, 1.0f};
  int m_captionOffsetX = 0;
  int m_captionOffsetY = 0;
  DCRenderTarget m_renderTarget{96.0f};
  ComPtr<IDWriteTextFormat> m_captionFormat;

  // The hover time asked of the system.
  static constexpr DWORD kHoverMilliseconds = 1;

 protected:
  // Paints the face of `state` into `client`.
  virtual void DrawButton(DCRenderTarget& target, int state, const RECT& client) = 0;
  void DrawItem(const DRAWITEMSTRUCT& item);

  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void SetClassCursor(LPCWSTR cursor) const;
};

class ImageButton : public Button {
 public:
  D2D1_COLOR_F m_clearColor{1, 1, 1, 1};
  D2D1_COLOR_F m_disabledTextColor{1, 1, 1, 1};
  bool m_clear = false;
  bool m_useDisabledTextColor = false;
  RECT m_bitmapRect = {0, 0, 0, 0};  // where the bitmap goes; all zero: the client rectangle
  HBITMAP m_bitmaps[4] = {nullptr, nullptr, nullptr, nullptr};  // by state; not owned

  // The faces of the normal, hover and pressed states (null: the state draws
  // nothing); the disabled state keeps its face. Repaints.
  void SetImages(HBITMAP normal, HBITMAP hover, HBITMAP pressed = nullptr);

 protected:
  void DrawButton(DCRenderTarget& target, int state, const RECT& client) override;
  virtual void DrawButtonText(DCRenderTarget& target, const RECT& client, const std::wstring& caption, int state);
};

}  // namespace bvlui
