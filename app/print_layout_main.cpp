// bvl_print_layout: prints the installer's layout table as shell assignments
// (tools/drive-wizard.sh clicks the wizard's buttons from them). Ends with 1
// when an entry has no name, so that a new entry cannot go unseen.
#include <cstdio>

#include "app/layout_print.h"

int main() {
  LayoutTable table;
  FillLayoutTable(&table);
  std::vector<std::uint32_t> unnamed;
  std::fputs(LayoutAssignments(table, &unnamed).c_str(), stdout);
  for (std::uint32_t id : unnamed) std::fprintf(stderr, "bvl_print_layout: entry %u has no name\n", static_cast<unsigned>(id));
  return unnamed.empty() ? 0 : 1;
}
