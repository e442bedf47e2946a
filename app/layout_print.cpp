// The layout table's entries by their resource names.
#include "app/layout_print.h"

#include "app/resource.h"

namespace {

struct Named {
  std::uint32_t id;
  const char* name;
};

// The name as written in app/resource.h, and its value.
#define NAMED(id) {id, #id}

const Named kNames[] = {
    NAMED(IDD_BVLINSTALLER_DIALOG), NAMED(IDC_STATIC_TITLE),      NAMED(IDC_BUTTON_AGREE),
    NAMED(IDC_BUTTON_CANCEL),       NAMED(IDC_BUTTON_CLOSE),      NAMED(IDD_LICENSE_VIEW),
    NAMED(IDC_STATIC_INTRO),        NAMED(IDC_RICHEDIT_LICENSE),  NAMED(IDD_PROGRESS_VIEW),
    NAMED(IDC_STATIC_STATUS),       NAMED(IDC_PROGRESS),          NAMED(IDC_LIST_STATUS),
    NAMED(IDD_COMPLETE_VIEW),       NAMED(IDC_STATIC_RESULT),     NAMED(IDC_CHECK_SHORTCUT),
    NAMED(IDD_STOP_DLG),            NAMED(IDC_STATIC_STOP_TITLE), NAMED(IDC_STATIC_STOP_MESSAGE),
    NAMED(IDC_BUTTON_STOP_OK),      NAMED(IDC_BUTTON_STOP_CANCEL),
};

#undef NAMED

const char* NameOf(std::uint32_t id) {
  for (const Named& named : kNames) {
    if (named.id == id) return named.name;
  }
  return nullptr;
}

}  // namespace

std::string LayoutAssignments(const LayoutTable& table, std::vector<std::uint32_t>* unnamed) {
  std::string out;
  for (const auto& [id, rect] : table) {
    const char* name = NameOf(id);
    if (!name) {
      unnamed->push_back(id);
      continue;
    }
    out += std::string(name) + "=\"" + std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
           std::to_string(rect.right) + " " + std::to_string(rect.bottom) + "\"\n";
  }
  return out;
}
