// What both wizards paint alike: the colours of the borderless windows and
// their controls, the title bar that is also the drag handle, where the
// button band begins and where the logo sits. Colours are RGB.
#pragma once

#include <cstdint>

struct WizardRgb {
  std::uint8_t r, g, b;
};

constexpr WizardRgb kWhite{255, 255, 255};
constexpr WizardRgb kTitleBarGreen{0, 165, 81};
constexpr WizardRgb kButtonBandGrey{240, 240, 240};
constexpr WizardRgb kFrameGrey{209, 209, 209};
// The captions of the text buttons.
constexpr WizardRgb kButtonTextGrey{112, 112, 112};
// The pages' texts (the labels' default colour) and the painted question.
constexpr WizardRgb kPageTextGrey{51, 51, 51};
// The progress list's rows.
constexpr WizardRgb kStepRowGreen{81, 196, 0};

// The green title bar's height: the drag handle and the top of the pages.
constexpr int kTitleBarHeight = 40;
// Where the grey button band begins: the main window's and the message
// dialog's.
constexpr int kMainButtonBandTop = 256;
constexpr int kStopButtonBandTop = 121;
// The logo (image 1101) in the title bar: left, top, right, bottom.
constexpr int kLogoLeft = 18, kLogoTop = 11, kLogoRight = 32, kLogoBottom = 30;
// The frame's stroke along the client rectangle.
constexpr float kFrameStrokeWidth = 2.0f;

// Font sizes (DIPs): the title bars and the text buttons, the page texts.
constexpr float kTitleFontSize = 12.0f;
constexpr float kPageFontSize = 13.0f;
// The progress list's and the check box's GDI font height (pixels).
constexpr int kListFontHeight = -12;
constexpr int kCheckBoxFontHeight = -13;
