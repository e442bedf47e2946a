// How the wizard's windows style their own controls alike: the text buttons
// (agree, cancel, OK), the white-on-green title labels and the page labels.
#pragma once

#include <QString>

#include "app/wizard_texts.h"
#include "ui/button.h"
#include "ui/d2d1_label.h"

// "맑은 고딕", as Qt names families.
inline const QString kKoreanFamily = QString::fromStdWString(kKoreanFamilyName);

// The text button's faces (normal and hover images, none pressed) and its
// grey caption at size 12 in `family` (empty: the default font).
void StyleTextButton(bvlui::ImageButton* button, const QString& family);

// The title in the green bar: white text at size 12, leading, centred.
void StyleTitleLabel(bvlui::D2D1Label* label);

// A page's text on white at `size`, weight 400, leading, vertically centred;
// the label's default colours stay.
void StylePageLabel(bvlui::D2D1Label* label, float size);
