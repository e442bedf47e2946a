// bvl_print_layout: the installer's layout table as shell assignments, one
// entry a line, `NAME="left top right bottom"`, for the scripts that drive
// the wizard (tools/drive-wizard.sh clicks its buttons from it). Ends with 1
// when an entry has no name here, so that a new entry cannot go unseen.
#include <cstdio>

#include "app/layout_table.h"
#include "app/resource.h"

namespace {

struct Named {
  std::uint32_t id;
  const char* name;
};

#define NAMED(id) \
  Named { id, #id }

const Named kNames[] = {
    NAMED(IDD_BVLINSTALLER_DIALOG), NAMED(IDC_STATIC_TITLE),        NAMED(IDC_BUTTON_AGREE),
    NAMED(IDC_BUTTON_CANCEL),       NAMED(IDC_BUTTON_CLOSE),        NAMED(IDD_LICENSE_VIEW),
    NAMED(IDC_STATIC_INTRO),        NAMED(IDC_RICHEDIT_LICENSE),    NAMED(IDD_PROGRESS_VIEW),
    NAMED(IDC_STATIC_STATUS),       NAMED(IDC_PROGRESS),            NAMED(IDC_LIST_STATUS),
    NAMED(IDD_COMPLETE_VIEW),       NAMED(IDC_STATIC_RESULT),       NAMED(IDC_CHECK_SHORTCUT),
    NAMED(IDD_STOP_DLG),            NAMED(IDC_STATIC_STOP_TITLE),   NAMED(IDC_STATIC_STOP_MESSAGE),
    NAMED(IDC_BUTTON_STOP_OK),      NAMED(IDC_BUTTON_STOP_CANCEL),
};

const char* NameOf(std::uint32_t id) {
  for (const Named& named : kNames) {
    if (named.id == id) return named.name;
  }
  return nullptr;
}

}  // namespace

int main() {
  LayoutTable table;
  FillLayoutTable(&table);
  int status = 0;
  for (const auto& [id, rect] : table) {
    const char* name = NameOf(id);
    if (!name) {
      std::fprintf(stderr, "bvl_print_layout: entry %u has no name\n", static_cast<unsigned>(id));
      status = 1;
      continue;
    }
    std::printf("%s=\"%d %d %d %d\"\n", name, rect.left, rect.top, rect.right, rect.bottom);
  }
  return status;
}
