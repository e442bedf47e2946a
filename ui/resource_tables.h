// The text and binary tables of the resource store (RESBOX), which need no
// drawing library: texts of the string table and copies of binary blocks
// (the licence in RTF), read from a module and looked up by id. The Qt and
// the native wizard keep their images each in their own form beside these.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace win {
// The platform's module handle (platform/win_types.h), named here without
// its header so that this header goes beside <windows.h>.
struct LoadedModule;
}  // namespace win

namespace bvlui {

// A binary table entry: the size in bytes and the store's copy of them.
struct BinaryBlock {
  std::uint32_t size = 0;
  const unsigned char* data = nullptr;
};

class ResourceTables {
 public:
  using IdSet = std::set<unsigned>;

  // Each id whose string-table text exists and is not empty gets its
  // text-table entry; the others are logged.
  void LoadStrings(const IdSet& ids, std::uint16_t language, win::LoadedModule* module);
  // Each id whose "RTF" resource loads gets a copy of its bytes; the others
  // are logged.
  void LoadBinaries(const IdSet& ids, win::LoadedModule* module, std::uint16_t language);

  // Lookups; an id never loaded gives the empty value and leaves an empty
  // entry for it, as a map's subscript does.
  std::wstring GetString(unsigned id);
  BinaryBlock GetBinary(unsigned id);
  bool HasStringEntry(unsigned id) const;

  void Clear();

 private:
  std::map<unsigned, std::wstring> m_texts;
  std::map<unsigned, BinaryBlock> m_binaries;
  // Every copy made, kept for the life of the tables: a reload replaces an
  // entry but a reader may still hold the older bytes.
  std::vector<std::unique_ptr<unsigned char[]>> m_blocks;
};

}  // namespace bvlui
