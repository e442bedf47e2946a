// The part of the resource tables (RESBOX) that needs no framework: a
// resource's bytes in a module and the texts of the string table, read
// through the platform's resource calls. The console front end reads its
// texts here too, so that both front ends show the same string table.
#pragma once

#include <cwchar>
#include <string>

#include "platform/debug_output.h"
#include "platform/resources.h"
#include "platform/win_types.h"

namespace bvlui {

// The bytes of one resource (read-only, alive as long as its module); false
// when it is missing, does not load or is empty, with the last error set.
bool ReadResource(win::HMODULE module, win::LPCWSTR type, unsigned id, win::WORD language,
                  const unsigned char** data, win::DWORD* size);

// The text of string `id` in `language` from `module` (the program's own
// when null). Empty when the module has no such text or it is empty; that
// failure is logged as "[Brimvale] RESBOX : Load String Resource Fail [ID: <id>]".
std::wstring LoadStringText(win::HMODULE module, unsigned id, win::WORD language);

// One debug line of the resource tables: `format` filled with `value`.
template <typename Number>
void LogResourceLine(const wchar_t* format, Number value) {
  wchar_t line[128];
  std::swprintf(line, sizeof line / sizeof line[0], format, value);
  win::OutputDebugStringW(line);
}

}  // namespace bvlui
