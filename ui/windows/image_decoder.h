// Decoding the wizard's images (PNG resources) into bitmaps that keep their
// alpha channel: 32-bit top-down DIB sections with premultiplied colour, so
// that Direct2D draws their transparent pixels as transparent.
#pragma once

#include "ui/windows/windows_headers.h"

namespace bvlui {

// GDI+ for the time of a batch of decodings: started with version 1, no
// debug callback, background thread and external codecs allowed; shut down
// when the object goes. gdiplus.dll is loaded from the system folder.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Started() const { return m_token != 0; }

 private:
  ULONG_PTR m_token = 0;
};

// The bitmap of the image file `data` (`size` bytes), owned by the caller;
// null with the last error set when it does not decode. PNG data is decoded
// by GDI+ (which needs a started session); other formats go to the system's
// picture loader first and to GDI+ when it cannot read them.
HBITMAP DecodeImage(const unsigned char* data, DWORD size);

}  // namespace bvlui
