// The resource tables of the native wizard: images decoded into bitmaps here,
// texts and binary blocks through the tables both wizards share.
// The platform's resource calls first: their header must precede <windows.h>.
#include "ui/resource_data.h"

#include "ui/windows/resbox.h"

#include <map>
#include <vector>

#include "ui/windows/image_decoder.h"

namespace {

using bvlui::LogResourceLine;

const wchar_t* const kImageThrow = L"[Brimvale] LoadImage Throw - %d \r\n";
const wchar_t* const kImageFail = L"[Brimvale] RESBOX : Load Image Resource Fail [ID: %u]\r\n";

struct Tables {
  std::map<unsigned, HBITMAP> images;
  // Every bitmap made, kept for the life of the tables: a reload replaces
  // an entry but a control may still draw the older bitmap.
  std::vector<HBITMAP> bitmaps;
  bvlui::ResourceTables textsAndBinaries;
  ~Tables() {
    for (HBITMAP bitmap : bitmaps) ::DeleteObject(bitmap);
  }
};

Tables& Store() {
  static Tables tables;
  return tables;
}

win::HMODULE Wrapped(HMODULE module) { return reinterpret_cast<win::HMODULE>(module); }

}  // namespace

void RESBOX::LoadImage(const IdSet& ids, HMODULE module, WORD language) {
  Tables& store = Store();
  bvlui::GdiplusSession gdiplus;
  for (unsigned id : ids) {
    const unsigned char* data = nullptr;
    win::DWORD size = 0;
    HBITMAP bitmap = nullptr;
    if (!bvlui::ReadResource(Wrapped(module), L"PNG", id, language, &data, &size) ||
        (bitmap = bvlui::DecodeImage(data, size)) == nullptr) {
      LogResourceLine(kImageThrow, static_cast<int>(::GetLastError()));
    }
    if (bitmap == nullptr) {
      LogResourceLine(kImageFail, id);
      continue;
    }
    store.images[id] = bitmap;
    store.bitmaps.push_back(bitmap);
  }
}

void RESBOX::LoadString(const IdSet& ids, WORD language, HMODULE module) {
  Store().textsAndBinaries.LoadStrings(ids, language, Wrapped(module));
}

void RESBOX::LoadBinary(const IdSet& ids, HMODULE module, WORD language) {
  Store().textsAndBinaries.LoadBinaries(ids, Wrapped(module), language);
}

HBITMAP RESBOX::GetImage(unsigned id) { return Store().images[id]; }
std::wstring RESBOX::GetString(unsigned id) { return Store().textsAndBinaries.GetString(id); }
RESBOX::Binary RESBOX::GetBinary(unsigned id) { return Store().textsAndBinaries.GetBinary(id); }

bool RESBOX::HasImageEntry(unsigned id) { return Store().images.count(id) != 0; }
bool RESBOX::HasStringEntry(unsigned id) { return Store().textsAndBinaries.HasStringEntry(id); }

void RESBOX::Clear() {
  Tables& store = Store();
  store.images.clear();
  for (HBITMAP bitmap : store.bitmaps) ::DeleteObject(bitmap);
  store.bitmaps.clear();
  store.textsAndBinaries.Clear();
}
