// Loading texts and binary blocks into the resource tables, one log line per
// failed id.
#include "ui/resource_tables.h"

#include <cstring>

#include "ui/resource_data.h"

namespace bvlui {

namespace {
const wchar_t* const kBinaryThrow = L"[Brimvale] LoadBinary Throw - %d \r\n";
const wchar_t* const kBinaryFail = L"[Brimvale] RESBOX : Load Binary Resource Fail [ID: %u]\r\n";
}  // namespace

void ResourceTables::LoadStrings(const IdSet& ids, std::uint16_t language, win::LoadedModule* module) {
  for (unsigned id : ids) {
    std::wstring text = LoadStringText(module, id, language);
    if (!text.empty()) m_texts[id] = std::move(text);
  }
}

void ResourceTables::LoadBinaries(const IdSet& ids, win::LoadedModule* module, std::uint16_t language) {
  for (unsigned id : ids) {
    const unsigned char* data = nullptr;
    win::DWORD size = 0;
    if (!ReadResource(module, L"RTF", id, language, &data, &size)) {
      LogResourceLine(kBinaryThrow, static_cast<int>(win::GetLastError()));
      LogResourceLine(kBinaryFail, id);
      continue;
    }
    auto copy = std::make_unique<unsigned char[]>(size);
    std::memcpy(copy.get(), data, size);
    m_binaries[id] = BinaryBlock{size, copy.get()};
    m_blocks.push_back(std::move(copy));
  }
}

std::wstring ResourceTables::GetString(unsigned id) { return m_texts[id]; }
BinaryBlock ResourceTables::GetBinary(unsigned id) { return m_binaries[id]; }
bool ResourceTables::HasStringEntry(unsigned id) const { return m_texts.count(id) != 0; }

void ResourceTables::Clear() {
  m_texts.clear();
  m_binaries.clear();
  m_blocks.clear();
}

}  // namespace bvlui
