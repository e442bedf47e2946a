// The installer's layout table.
#include "app/layout_table.h"

#include "app/resource.h"

void FillLayoutTable(LayoutTable* table) {
  struct Entry {
    std::uint32_t id;
    LayoutRect rect;
  };
  static const Entry kEntries[] = {
      {IDD_BVLINSTALLER_DIALOG, {0, 0, 580, 300}},    // main window (width and height)
      {IDC_STATIC_TITLE, {40, 12, 220, 26}},          // title label
      {IDC_BUTTON_AGREE, {373, 265, 463, 290}},       // agree button
      {IDC_BUTTON_CANCEL, {471, 265, 561, 290}},      // cancel / OK button
      {IDC_BUTTON_CLOSE, {547, 12, 562, 27}},         // close button
      {IDD_LICENSE_VIEW, {1, 40, 579, 254}},          // licence page
      {IDC_STATIC_INTRO, {17, 22, 561, 72}},          // licence page text
      {IDC_RICHEDIT_LICENSE, {18, 80, 562, 200}},     // licence page rich-text box
      {IDD_PROGRESS_VIEW, {1, 40, 579, 254}},         // progress page
      {IDC_STATIC_STATUS, {17, 24, 217, 42}},         // progress page status text
      {IDC_PROGRESS, {18, 54, 562, 74}},              // progress page progress bar
      {IDC_LIST_STATUS, {18, 85, 562, 207}},          // progress page list
      {IDD_COMPLETE_VIEW, {1, 40, 579, 254}},         // completion page
      {IDC_STATIC_RESULT, {17, 23, 267, 56}},         // completion page text
      {IDC_CHECK_SHORTCUT, {18, 80, 36, 98}},         // completion page check box
      {IDD_STOP_DLG, {0, 0, 270, 165}},               // message dialog (width and height)
      {IDC_STATIC_STOP_TITLE, {40, 12, 220, 26}},     // message dialog title label
      {IDC_STATIC_STOP_MESSAGE, {17, 63, 217, 78}},   // message dialog text
      {IDC_BUTTON_STOP_OK, {63, 130, 153, 155}},      // message dialog OK button
      {IDC_BUTTON_STOP_CANCEL, {161, 130, 251, 155}}, // message dialog cancel button
  };
  for (const Entry& entry : kEntries) (*table)[entry.id] = entry.rect;
}
