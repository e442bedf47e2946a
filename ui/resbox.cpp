// The resource tables: loading images, texts and binary blocks from a module
// through the platform's resource calls (ui/resource_data.h), with one log
// line per failed id.
#include "ui/resbox.h"

#include "ui/resource_data.h"

namespace {

using bvlui::LogResourceLine;
using bvlui::ReadResource;

const wchar_t* const kImageThrow = L"[Brimvale] LoadImage Throw - %d \r\n";
const wchar_t* const kImageFail = L"[Brimvale] RESBOX : Load Image Resource Fail [ID: %u]\r\n";

QImage DecodePng(const unsigned char* data, win::DWORD size) {
  QImage image;
  if (!image.loadFromData(data, static_cast<int>(size), "PNG")) return QImage();
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

RESBOX::Tables& RESBOX::Store() {
  static Tables tables;
  return tables;
}

void RESBOX::LoadImage(const IdSet& ids, win::HMODULE module, win::WORD language) {
  Tables& store = Store();
  const win::LPCWSTR png = L"PNG";
  for (unsigned id : ids) {
    bvlui::Bitmap bitmap;
    const unsigned char* data = nullptr;
    win::DWORD size = 0;
    if (!ReadResource(module, png, id, language, &data, &size)) {
      LogResourceLine(kImageThrow, static_cast<int>(win::GetLastError()));
    } else {
      bitmap.image = DecodePng(data, size);
      if (bitmap.image.isNull()) {
        win::SetLastError(win::ERROR_BAD_FORMAT);
        LogResourceLine(kImageThrow, static_cast<int>(win::GetLastError()));
      }
    }
    if (bitmap.IsNull()) {
      LogResourceLine(kImageFail, id);
      continue;
    }
    // The 2x picture is optional: a module without one serves the 1x picture
    // on every screen.
    if (ReadResource(module, L"PNG2X", id, language, &data, &size)) bitmap.image2x = DecodePng(data, size);
    if (!bitmap.image2x.isNull()) bitmap.image2x.setDevicePixelRatio(2.0);
    store.images[id] = bitmap;
  }
}

void RESBOX::LoadString(const IdSet& ids, win::WORD language, win::HMODULE module) {
  Store().textsAndBinaries.LoadStrings(ids, language, module);
}

void RESBOX::LoadBinary(const IdSet& ids, win::HMODULE module, win::WORD language) {
  Store().textsAndBinaries.LoadBinaries(ids, module, language);
}

bvlui::Bitmap RESBOX::GetImage(unsigned id) { return Store().images[id]; }
std::wstring RESBOX::GetString(unsigned id) { return Store().textsAndBinaries.GetString(id); }
RESBOX::Binary RESBOX::GetBinary(unsigned id) { return Store().textsAndBinaries.GetBinary(id); }

bool RESBOX::HasImageEntry(unsigned id) { return Store().images.count(id) != 0; }
bool RESBOX::HasStringEntry(unsigned id) { return Store().textsAndBinaries.HasStringEntry(id); }
void RESBOX::Clear() {
  Tables& store = Store();
  store.images.clear();
  store.textsAndBinaries.Clear();
}
