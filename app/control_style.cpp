// The shared styles of the wizard's controls.
#include "app/control_style.h"

#include "app/resource.h"
#include "app/wizard_texts.h"
#include "ui/resbox.h"

namespace {
constexpr std::uint32_t kButtonTextGrey = 0x707070;
}  // namespace

void StyleTextButton(bvlui::ImageButton* button, const QString& family) {
  button->SetImages(RESBOX::GetImage(IDB_BUTTON_NORMAL), RESBOX::GetImage(IDB_BUTTON_HOVER));
  button->SetTextFont(family, 12);
  button->m_textColor = {kButtonTextGrey, 1.0f};
  button->m_secondTextColor = {kButtonTextGrey, 1.0f};
}

void StyleTitleLabel(bvlui::D2D1Label* label) {
  StylePageLabel(label, 12);
  label->m_backgroundColor = {0.0f, 165 / 255.0f, 81 / 255.0f, 1.0f};
  label->m_textColor = {1, 1, 1, 1};
}

void StylePageLabel(bvlui::D2D1Label* label, float size) {
  label->m_fontFamily = kKoreanFamily;
  label->m_fontSize = size;
  label->m_fontWeight = 400;
  label->m_textAlignment = bvlui::kTextAlignmentLeading;
  label->m_paragraphAlignment = bvlui::kParagraphAlignmentCenter;
}
