// The resource tables: loading images, texts and binary blocks from a module
// through the platform's resource calls, with one log line per failed id.
#include "ui/resbox.h"

#include <cstring>
#include <cwchar>

#include "platform/debug_output.h"

namespace {

const wchar_t* const kImageThrow = L"[Brimvale] LoadImage Throw - %d \r\n";
const wchar_t* const kImageFail = L"[Brimvale] RESBOX : Load Image Resource Fail [ID: %u]\r\n";
const wchar_t* const kStringFail = L"[Brimvale] RESBOX : Load String Resource Fail [ID: %u]\r\n";
const wchar_t* const kBinaryThrow = L"[Brimvale] LoadBinary Throw - %d \r\n";
const wchar_t* const kBinaryFail = L"[Brimvale] RESBOX : Load Binary Resource Fail [ID: %u]\r\n";

template <typename Number>
void Log(const wchar_t* format, Number value) {
  wchar_t line[128];
  std::swprintf(line, sizeof line / sizeof line[0], format, value);
  win::OutputDebugStringW(line);
}

// The bytes of one resource; false when it is missing, does not load or is
// empty.
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
      Log(kImageThrow, static_cast<int>(win::GetLastError()));
    } else {
      bitmap.image = DecodePng(data, size);
      if (bitmap.image.isNull()) {
        win::SetLastError(win::ERROR_BAD_FORMAT);
        Log(kImageThrow, static_cast<int>(win::GetLastError()));
      }
    }
    if (bitmap.IsNull()) {
      Log(kImageFail, id);
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
    // A string-table block holds 16 counted texts: block (id / 16) + 1,
    // entry id mod 16.
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
    if (text.empty()) {
      Log(kStringFail, id);
      continue;
    }
    store.texts[id] = text;
  }
}

void RESBOX::LoadBinary(const IdSet& ids, win::HMODULE module, win::WORD language) {
  Tables& store = Store();
  for (unsigned id : ids) {
    const unsigned char* data = nullptr;
    win::DWORD size = 0;
    if (!ReadResource(module, L"RTF", id, language, &data, &size)) {
      Log(kBinaryThrow, static_cast<int>(win::GetLastError()));
      Log(kBinaryFail, id);
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
