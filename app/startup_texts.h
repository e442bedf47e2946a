// The string table's texts that start-up and the console front end show
// (refusals, the product name, the completion texts), read from the
// program's own resources in Korean. No framework is needed to read them.
#pragma once

#include <string>

// The text of string `id`; empty (and logged) when the program has none.
std::wstring StartupMessageText(int id);
