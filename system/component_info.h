// One agent component as the install engine tracks it (the version and digest
// the update host's manifest lists, where it is installed, how it is checked)
// and the key order of the component catalogue. It lives beside the download
// verification, which checks a component by these fields.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Options of a component.
constexpr std::uint32_t COMPONENT_VERIFY_SIGN = 0x04;  // a driver: signature checked, installed to the drivers folder
constexpr std::uint32_t COMPONENT_VERIFY_ARCH = 0x20;  // the image must match the machine's architecture

struct ComponentInfo {
  std::wstring version;           // from the version manifest; empty when not listed
  std::wstring reserved1 = L"1";  // no step reads it
  std::wstring targetPath;        // where the component is installed
  std::wstring hash;              // expected MD5 digest from the manifest
  std::wstring reserved2 = L"1";  // no step reads it
  std::uint32_t options = 0;      // COMPONENT_* flags
  std::uint32_t reserved3 = 0;    // no step reads it
  std::uint32_t reserved4 = 0;    // no step reads it
  std::uint32_t isArchive = 0;    // 1: a ZIP unpacked below the install folder
};

// Orders names by their UTF-16 code units taken as unsigned 16-bit numbers,
// case-sensitively, as the catalogue has always been walked: "B" before "b",
// and a character beyond U+FFFF sorts as its surrogate pair (0xD800..0xDFFF),
// so before U+E000..U+FFFF. wchar_t holds whole code points here, so each is
// expanded to its units on the fly.
struct Utf16Less {
  bool operator()(const std::wstring& left, const std::wstring& right) const {
    UnitReader a(left), b(right);
    while (true) {
      int x = a.Next(), y = b.Next();
      if (x != y) return x < y;  // the end (-1) sorts before any unit
      if (x < 0) break;
    }
    // Equal as UTF-16 (only malformed text, e.g. a lone surrogate pair spelt
    // as two wchar_t, meets a real code point here): keep distinct keys
    // distinct by their raw values.
    return left < right;
  }

 private:
  class UnitReader {
   public:
    explicit UnitReader(const std::wstring& text) : text_(text) {}
    // The next UTF-16 unit, -1 at the end.
    int Next() {
      if (pendingLow_ >= 0) {
        int unit = pendingLow_;
        pendingLow_ = -1;
        return unit;
      }
      if (index_ >= text_.size()) return -1;
      auto c = static_cast<std::uint32_t>(text_[index_++]);
      if (c < 0x10000) return static_cast<int>(c);
      if (c > 0x10FFFF) return 0xFFFF;  // not a code point; ordered last, ties broken above
      c -= 0x10000;
      pendingLow_ = static_cast<int>(0xDC00 + (c & 0x3FF));
      return static_cast<int>(0xD800 + (c >> 10));
    }

   private:
    const std::wstring& text_;
    std::size_t index_ = 0;
    int pendingLow_ = -1;
  };
};

using ComponentMap = std::map<std::wstring, ComponentInfo, Utf16Less>;
