// The installer's layout table.
#include "app/layout_table.h"

#include <QWidget>

void FillLayoutTable(LayoutTable* table) {
  struct Entry {
    std::uint32_t id;
    LayoutRect rect;
  };
  static const Entry kEntries[] = {
      {102, {0, 0, 580, 300}},      // main window (width and height)
      {1029, {40, 12, 220, 26}},    // title label
      {1026, {373, 265, 463, 290}}, // agree button
      {1027, {471, 265, 561, 290}}, // cancel / OK button
      {1028, {547, 12, 562, 27}},   // close button
      {130, {1, 40, 579, 254}},     // licence page
      {1012, {17, 22, 561, 72}},    // licence page text
      {1002, {18, 80, 562, 200}},   // licence page rich-text box
      {131, {1, 40, 579, 254}},     // progress page
      {1023, {17, 24, 217, 42}},    // progress page status text
      {1004, {18, 54, 562, 74}},    // progress page progress bar
      {1024, {18, 85, 562, 207}},   // progress page list
      {135, {1, 40, 579, 254}},     // completion page
      {1013, {17, 23, 267, 56}},    // completion page text
      {1025, {18, 80, 36, 98}},     // completion page check box
      {137, {0, 0, 270, 165}},      // message dialog (width and height)
      {1020, {40, 12, 220, 26}},    // message dialog title label
      {1021, {17, 63, 217, 78}},    // message dialog text
      {1015, {63, 130, 153, 155}},  // message dialog OK button
      {1016, {161, 130, 251, 155}}, // message dialog cancel button
  };
  for (const Entry& entry : kEntries) (*table)[entry.id] = entry.rect;
}

void PlaceWindow(QWidget* window, const LayoutRect& rect) {
  if (!window) return;
  window->setGeometry(rect.ToQRect());
  window->update();
}
