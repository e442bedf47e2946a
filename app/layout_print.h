// The layout table as shell assignments, one entry a line,
// `NAME="left top right bottom"` with the entry's resource name, for the
// scripts that drive the wizard (bvl_print_layout prints it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/layout_table.h"

// The assignments of every named entry, in the table's order; the ids that
// have no name here are added to `unnamed` and left out.
std::string LayoutAssignments(const LayoutTable& table, std::vector<std::uint32_t>* unnamed);
