// The layout table as the scripts that drive the wizard read it: every entry
// by its resource name with the rectangle the installer places it at, and an
// entry without a name reported rather than printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "app/layout_print.h"
#include "app/resource.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LayoutPrintTest, EveryEntryOfTheInstallersTableIsPrintedByName) {
  LayoutTable table;
  FillLayoutTable(&table);
  std::vector<std::uint32_t> unnamed;
  const std::vector<std::string> lines = Lines(LayoutAssignments(table, &unnamed));

  EXPECT_EQ(unnamed, std::vector<std::uint32_t>());
  EXPECT_EQ(lines.size(), 20u);
  // What tools/drive-wizard.sh clicks and reads: the window, Agree, the
  // cancel / OK button, the progress page and its bar.
  for (const char* expected : {"IDD_BVLINSTALLER_DIALOG=\"0 0 580 300\"", "IDC_BUTTON_AGREE=\"373 265 463 290\"",
                               "IDC_BUTTON_CANCEL=\"471 265 561 290\"", "IDD_PROGRESS_VIEW=\"1 40 579 254\"",
                               "IDC_PROGRESS=\"18 54 562 74\"", "IDD_STOP_DLG=\"0 0 270 165\""}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
}

TEST(LayoutPrintTest, AnEntryWithoutANameIsReportedAndLeftOut) {
  LayoutTable table;
  table[IDC_BUTTON_CLOSE] = {547, 12, 562, 27};
  table[4242] = {1, 2, 3, 4};
  std::vector<std::uint32_t> unnamed;

  EXPECT_EQ(LayoutAssignments(table, &unnamed), "IDC_BUTTON_CLOSE=\"547 12 562 27\"\n");
  EXPECT_EQ(unnamed, std::vector<std::uint32_t>{4242});
}

}  // namespace
