// Image decoding through a memory stream: the system's picture loader
// (OleLoadPicture) and GDI+'s flat interface.
#include "ui/windows/image_decoder.h"

#include <ole2.h>
#include <olectl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

#include "platform/windows/system_library.h"
#include "ui/windows/bitmap_pixels.h"
#include "ui/windows/com_ptr.h"

namespace bvlui {

namespace {

using StartupFunction = decltype(&Gdiplus::GdiplusStartup);
using ShutdownFunction = decltype(&Gdiplus::GdiplusShutdown);
using FromStreamFunction = decltype(&Gdiplus::DllExports::GdipCreateBitmapFromStream);
using WidthFunction = decltype(&Gdiplus::DllExports::GdipGetImageWidth);
using HeightFunction = decltype(&Gdiplus::DllExports::GdipGetImageHeight);
using LockFunction = decltype(&Gdiplus::DllExports::GdipBitmapLockBits);
using UnlockFunction = decltype(&Gdiplus::DllExports::GdipBitmapUnlockBits);
using DisposeFunction = decltype(&Gdiplus::DllExports::GdipDisposeImage);

template <typename Function>
Function GdiplusFunction(const char* name) {
  return platform_windows::SystemFunction<Function>(L"gdiplus.dll", name);
}

bool IsPng(const unsigned char* data, DWORD size) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

// A new memory stream holding a copy of the bytes, positioned at its start.
ComPtr<IStream> StreamOf(const unsigned char* data, DWORD size) {
  ComPtr<IStream> stream;
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return stream;
  void* bytes = ::GlobalLock(block);
  if (bytes == nullptr) {
    ::GlobalFree(block);
    return stream;
  }
  std::memcpy(bytes, data, size);
  ::GlobalUnlock(block);
  // The stream owns the block and frees it on its last release.
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, stream.Put()))) {
    ::GlobalFree(block);
    stream.Reset();
    return stream;
  }
  ULARGE_INTEGER length;
  length.QuadPart = size;
  stream->SetSize(length);
  return stream;
}

HBITMAP DecodeWithPictureLoader(const unsigned char* data, DWORD size) {
  ComPtr<IStream> stream = StreamOf(data, size);
  if (!stream) return nullptr;
  ComPtr<IPicture> picture;
  if (FAILED(::OleLoadPicture(stream.Get(), 0, FALSE, IID_IPicture, reinterpret_cast<void**>(picture.Put())))) {
    return nullptr;
  }
  OLE_HANDLE handle = 0;
  SHORT type = PICTYPE_UNINITIALIZED;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(picture->get_Handle(&handle))) return nullptr;
  // A copy outlives the picture, which deletes its own bitmap.
  return static_cast<HBITMAP>(::CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0, 0));
}

HBITMAP DecodeWithGdiplus(const unsigned char* data, DWORD size) {
  const auto fromStream = GdiplusFunction<FromStreamFunction>("GdipCreateBitmapFromStream");
  const auto width = GdiplusFunction<WidthFunction>("GdipGetImageWidth");
  const auto height = GdiplusFunction<HeightFunction>("GdipGetImageHeight");
  const auto lock = GdiplusFunction<LockFunction>("GdipBitmapLockBits");
  const auto unlock = GdiplusFunction<UnlockFunction>("GdipBitmapUnlockBits");
  const auto dispose = GdiplusFunction<DisposeFunction>("GdipDisposeImage");
  if (!fromStream || !width || !height || !lock || !unlock || !dispose) return nullptr;
  ComPtr<IStream> stream = StreamOf(data, size);
  if (!stream) return nullptr;
  Gdiplus::GpBitmap* image = nullptr;
  if (fromStream(stream.Get(), &image) != Gdiplus::Ok || image == nullptr) {
    ::SetLastError(ERROR_BAD_FORMAT);
    return nullptr;
  }
  HBITMAP bitmap = nullptr;
  UINT w = 0, h = 0;
  if (width(image, &w) == Gdiplus::Ok && height(image, &h) == Gdiplus::Ok && w > 0 && h > 0) {
    // The pixels as premultiplied BGRA, top row first, copied row by row
    // (the locked rows have a stride of their own).
    BitmapPixels pixels;
    pixels.width = static_cast<int>(w);
    pixels.height = static_cast<int>(h);
    pixels.pixels.resize(static_cast<std::size_t>(w) * h);
    const Gdiplus::GpRect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData locked = {};
    if (lock(image, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &locked) == Gdiplus::Ok) {
      const auto* rows = static_cast<const unsigned char*>(locked.Scan0);
      for (UINT y = 0; y < h; ++y) {
        std::memcpy(&pixels.pixels[static_cast<std::size_t>(y) * w], rows + static_cast<std::ptrdiff_t>(y) * locked.Stride,
                    static_cast<std::size_t>(w) * 4);
      }
      unlock(image, &locked);
      bitmap = CreatePremultipliedBitmap(pixels);
    }
  }
  dispose(image);
  if (bitmap == nullptr) ::SetLastError(ERROR_BAD_FORMAT);
  return bitmap;
}

}  // namespace

GdiplusSession::GdiplusSession() {
  const auto startup = GdiplusFunction<StartupFunction>("GdiplusStartup");
  if (startup == nullptr) return;
  Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
  if (startup(&m_token, &input, nullptr) != Gdiplus::Ok) m_token = 0;
}

GdiplusSession::~GdiplusSession() {
  if (m_token == 0) return;
  if (const auto shutdown = GdiplusFunction<ShutdownFunction>("GdiplusShutdown")) shutdown(m_token);
}

HBITMAP DecodeImage(const unsigned char* data, DWORD size) {
  if (data == nullptr || size == 0) {
    ::SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  // The picture loader reads PNG only on some systems, and then without
  // its alpha channel: PNG data goes to GDI+ alone.
  if (!IsPng(data, size)) {
    if (HBITMAP bitmap = DecodeWithPictureLoader(data, size)) return bitmap;
  }
  return DecodeWithGdiplus(data, size);
}

}  // namespace bvlui
