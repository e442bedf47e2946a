// Resource bytes and string-table texts through the platform's resource calls.
#include "ui/resource_data.h"

namespace bvlui {

namespace {
const wchar_t* const kStringFail = L"[Brimvale] RESBOX : Load String Resource Fail [ID: %u]\r\n";
}  // namespace

bool ReadResource(win::HMODULE module, win::LPCWSTR type, unsigned id, win::WORD language,
                  const unsigned char** data, win::DWORD* size) {
  win::HRSRC found = win::FindResourceExW(module, type, win::MAKEINTRESOURCEW(id), language);
  if (!found) return false;
  win::HGLOBAL loaded = win::LoadResource(module, found);
  if (!loaded) return false;
  const void* locked = win::LockResource(loaded);
  *size = win::SizeofResource(module, found);
  if (!locked || *size == 0) {
    if (*size == 0) win::SetLastError(win::ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  *data = static_cast<const unsigned char*>(locked);
  return true;
}

std::wstring LoadStringText(win::HMODULE module, unsigned id, win::WORD language) {
  // A string-table block holds 16 counted texts: block (id / 16) + 1, entry
  // id mod 16.
  std::wstring text;
  const unsigned char* data = nullptr;
  win::DWORD size = 0;
  if (ReadResource(module, win::RT_STRING, id / 16 + 1, language, &data, &size)) {
    std::size_t at = 0;
    for (unsigned entry = 0; entry <= id % 16 && at + 2 <= size; ++entry) {
      const std::size_t length = data[at] | (data[at + 1] << 8);
      at += 2;
      if (at + 2 * length > size) break;
      if (entry == id % 16) {
        for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<wchar_t>(data[at + 2 * i] | (data[at + 2 * i + 1] << 8)));
      }
      at += 2 * length;
    }
  }
  if (text.empty()) LogResourceLine(kStringFail, id);
  return text;
}

}  // namespace bvlui
