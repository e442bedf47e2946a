// How the native wizard's windows style their own controls alike: the text
// buttons (agree, cancel, OK, and the message dialog's), the white-on-green
// title labels and the page labels.
#pragma once

#include <string>

#include "ui/windows/button.h"
#include "ui/windows/d2d1_label.h"

// The text button's faces (normal and hover images, none pressed) and its
// grey caption at size 12 in `family` (empty: the text engine's default).
void StyleTextButton(bvlui::ImageButton* button, const std::wstring& family);

// The title in the green bar: white text at size 12, leading, centred.
void StyleTitleLabel(bvlui::D2D1Label* label);

// A page's text on white at `size`, weight 400, leading, vertically centred;
// the label's default colours stay.
void StylePageLabel(bvlui::D2D1Label* label, float size);
