// Start-up's texts from the program's own string table.
#include "app/startup_texts.h"

#include "ui/resource_data.h"

namespace {
constexpr win::WORD kKorean = 0x0412;
}  // namespace

std::wstring StartupMessageText(int id) { return bvlui::LoadStringText(nullptr, static_cast<unsigned>(id), kKorean); }
