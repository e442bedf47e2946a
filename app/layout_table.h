// The layout table: control or dialog id -> pixel rectangle, relative to the
// parent's client area. Every page, control and dialog of the installer is
// placed from it.
#pragma once

#include <cstdint>
#include <map>

// A rectangle as the table keeps it: left, top, right, bottom.
struct LayoutRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
};

// A lookup of a missing id inserts an empty rectangle, as the table's map does.
using LayoutTable = std::map<std::uint32_t, LayoutRect>;

// The installer's layout: the main window, its pages and their controls, the
// message dialog.
void FillLayoutTable(LayoutTable* table);
