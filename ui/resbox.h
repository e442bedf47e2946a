// RESBOX: the process-wide tables of the user-interface resources taken from
// the installer's module — images decoded from PNG resources, texts of the
// string table and binary blocks (the licence in RTF) — looked up by id.
#pragma once

#include <QImage>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "platform/win_types.h"
#include "ui/resource_tables.h"

namespace bvlui {

// One image of the image table: the picture and, where the module has one,
// the same picture at twice the resolution for high-DPI screens. Both keep
// their alpha channel.
struct Bitmap {
  QImage image;
  QImage image2x;
  bool IsNull() const { return image.isNull(); }
  // The picture to draw on a device of `devicePixelRatio`.
  const QImage& ForRatio(qreal devicePixelRatio) const {
    return devicePixelRatio > 1.0 && !image2x.isNull() ? image2x : image;
  }
};

}  // namespace bvlui

class RESBOX {
 public:
  using IdSet = std::set<unsigned>;
  // A binary table entry: the size in bytes and the store's copy of them.
  using Binary = bvlui::BinaryBlock;

  // Each id of the set whose "PNG" resource (in `language`, from `module` or,
  // when null, from the program's own module) decodes gets its image-table
  // entry, with the "PNG2X" resource of the same id as its 2x picture. A
  // failed id is logged and skipped; the loop goes on.
  static void LoadImage(const IdSet& ids, win::HMODULE module, win::WORD language);
  // Each id whose string-table text exists and is not empty gets its
  // text-table entry; the others are logged.
  static void LoadString(const IdSet& ids, win::WORD language, win::HMODULE module);
  // Each id whose "RTF" resource loads gets a copy of its bytes.
  static void LoadBinary(const IdSet& ids, win::HMODULE module, win::WORD language);

  // Lookups. An id that was never loaded gives the empty value and, like a
  // map's subscript, leaves an empty entry for it that a later load replaces.
  static bvlui::Bitmap GetImage(unsigned id);
  static std::wstring GetString(unsigned id);
  static Binary GetBinary(unsigned id);

  // Whether a table has an entry (loaded or left by a lookup) for the id.
  static bool HasImageEntry(unsigned id);
  static bool HasStringEntry(unsigned id);

  // Empties the tables (the program's exit; tests start from empty tables).
  static void Clear();

 private:
  struct Tables {
    std::map<unsigned, bvlui::Bitmap> images;
    bvlui::ResourceTables textsAndBinaries;
  };
  static Tables& Store();
};
