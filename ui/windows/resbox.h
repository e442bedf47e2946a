// RESBOX: the process-wide tables of the user-interface resources taken from
// the installer's module — bitmaps decoded from PNG resources, texts of the
// string table and binary blocks (the licence in RTF) — looked up by id.
#pragma once

#include "ui/windows/windows_headers.h"

#include <set>
#include <string>

#include "ui/resource_tables.h"

class RESBOX {
 public:
  using IdSet = std::set<unsigned>;
  // A binary table entry: the size in bytes and the store's copy of them.
  using Binary = bvlui::BinaryBlock;

  // Each id of the set whose "PNG" resource (in `language`, from `module`
  // or, when null, from the program's own module) decodes gets its
  // image-table entry: a 32-bit bitmap with premultiplied alpha. A failed
  // id is logged and skipped; the loop goes on.
  static void LoadImage(const IdSet& ids, HMODULE module, WORD language);
  // Each id whose string-table text exists and is not empty gets its
  // text-table entry; the others are logged.
  static void LoadString(const IdSet& ids, WORD language, HMODULE module);
  // Each id whose "RTF" resource loads gets a copy of its bytes.
  static void LoadBinary(const IdSet& ids, HMODULE module, WORD language);

  // Lookups. An id that was never loaded gives the empty value and, like a
  // map's subscript, leaves an empty entry for it that a later load replaces.
  // The bitmaps belong to the store.
  static HBITMAP GetImage(unsigned id);
  static std::wstring GetString(unsigned id);
  static Binary GetBinary(unsigned id);

  // Whether a table has an entry (loaded or left by a lookup) for the id.
  static bool HasImageEntry(unsigned id);
  static bool HasStringEntry(unsigned id);

  // Empties the tables and deletes the bitmaps (the program's exit; tests
  // start from empty tables).
  static void Clear();
};
