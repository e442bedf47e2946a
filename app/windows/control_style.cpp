// The shared styles of the native wizard's controls.
#include "app/windows/control_style.h"

#include "app/resource.h"
#include "app/wizard_look.h"
#include "app/wizard_texts.h"
#include "ui/windows/render_target.h"
#include "ui/windows/resbox.h"

void StyleTextButton(bvlui::ImageButton* button, const std::wstring& family) {
  button->SetImages(RESBOX::GetImage(IDB_BUTTON_NORMAL), RESBOX::GetImage(IDB_BUTTON_HOVER), nullptr);
  button->SetTextFont(family, kTitleFontSize);
  const bvlui::ColorPair grey{
      static_cast<std::uint32_t>(kButtonTextGrey.r << 16 | kButtonTextGrey.g << 8 | kButtonTextGrey.b), 1.0f};
  button->m_textColor = grey;
  button->m_secondTextColor = grey;
}

void StyleTitleLabel(bvlui::D2D1Label* label) {
  StylePageLabel(label, kTitleFontSize);
  label->m_backgroundColor = bvlui::ColorF(kTitleBarGreen.r, kTitleBarGreen.g, kTitleBarGreen.b);
  label->m_textColor = bvlui::ColorF(kWhite.r, kWhite.g, kWhite.b);
}

void StylePageLabel(bvlui::D2D1Label* label, float size) {
  label->m_fontFamily = kKoreanFamilyName;
  label->m_fontSize = size;
  label->m_fontWeight = 400;
  label->m_textAlignment = DWRITE_TEXT_ALIGNMENT_LEADING;
  label->m_paragraphAlignment = DWRITE_PARAGRAPH_ALIGNMENT_CENTER;
}
