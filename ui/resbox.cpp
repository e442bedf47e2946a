// The resource tables: loading images, texts and binary blocks from a module
// through the platform's resource calls (ui/resource_data.h), with one log
// line per failed id.
#include "ui/resbox.h"

#include <cstring>

#include "ui/resource_data.h"

namespace {

using bvlui::LogResourceLine;
using bvlui::ReadResource;

const wchar_t* const kImageThrow = L"[Brimvale] LoadImage Throw - %d \r\n";
const wchar_t* const kImageFail = L"[Brimvale] RESBOX : Load Image Resource Fail [ID: %u]\r\n";
const wchar_t* const kBinaryThrow = L"[Brimvale] LoadBinary Throw - %d \r\n";
const wchar_t* const kBinaryFail = L"[Brimvale] RESBOX : Load Binary Resource Fail [ID: %u]\r\n";

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
  Tables& store = Store();
  for (unsigned id : ids) {
    std::wstring text = bvlui::LoadStringText(module, id, language);
    if (!text.empty()) store.texts[id] = std::move(text);
  }
}

void RESBOX::LoadBinary(const IdSet& ids, win::HMODULE module, win::WORD language) {
  Tables& store = Store();
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
    store.binaries[id] = Binary{size, copy.get()};
    store.blocks.push_back(std::move(copy));
  }
}

bvlui::Bitmap RESBOX::GetImage(unsigned id) { return Store().images[id]; }
std::wstring RESBOX::GetString(unsigned id) { return Store().texts[id]; }
RESBOX::Binary RESBOX::GetBinary(unsigned id) { return Store().binaries[id]; }

bool RESBOX::HasImageEntry(unsigned id) { return Store().images.count(id) != 0; }
bool RESBOX::HasStringEntry(unsigned id) { return Store().texts.count(id) != 0; }
void RESBOX::Clear() {
  Tables& store = Store();
  store.images.clear();
  store.texts.clear();
  store.binaries.clear();
  store.blocks.clear();
}
