// Resource modules: the program's linked-in .res image and .res files opened
// as data modules, parsed into their entries once and served read-only.
#include "platform/resources.h"

#include <cwctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "platform/sim/machine/faults.h"
#include "platform/little_endian.h"
#include "platform/sim/machine/paths.h"
#include "platform/version.h"

// The build links the program's resource section in (resources/); a program
// built without it has a module with no resources.
extern "C" {
extern const unsigned char bvlsim_program_resources[] __attribute__((weak));
extern const std::size_t bvlsim_program_resources_size __attribute__((weak));
}

namespace win {

// A type or name: an ordinal, or a text folded to upper case.
struct ResourceKey {
  bool isId = true;
  unsigned id = 0;
  std::wstring text;
};

struct ResourceEntry {
  ResourceKey type;
  ResourceKey name;
  WORD language = 0;
  const unsigned char* data = nullptr;
  DWORD size = 0;
};

struct LoadedModule {
  std::vector<unsigned char> owned;  // the file's bytes; empty for the program's section
  std::vector<ResourceEntry> entries;
};

}  // namespace win

namespace {

using win::LoadedModule;
using win::ResourceEntry;
using win::ResourceKey;

std::wstring Fold(const std::wstring& text) {
  std::wstring folded;
  for (wchar_t c : text) folded.push_back(static_cast<wchar_t>(std::towupper(c)));
  return folded;
}

std::size_t AlignUp(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

// Reads a type or name field of a resource header at `*at`, within `end`.
bool ReadKey(std::string_view bytes, std::size_t end, std::size_t* at, ResourceKey* key) {
  if (*at + 2 > end) return false;
  if (platform::Get16(bytes, *at) == 0xFFFF) {
    if (*at + 4 > end) return false;
    key->isId = true;
    key->id = platform::Get16(bytes, *at + 2);
    *at += 4;
    return true;
  }
  key->isId = false;
  key->text.clear();
  while (true) {
    if (*at + 2 > end) return false;
    const wchar_t c = platform::Get16(bytes, *at);
    *at += 2;
    if (c == 0) break;
    key->text.push_back(c);
  }
  key->text = Fold(key->text);
  return true;
}

// Parses a .res image into its entries; false when it is not one.
bool ParseResourceImage(const unsigned char* data, std::size_t size, std::vector<ResourceEntry>* entries) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  bool sawNullResource = false;
  while (at + 8 <= size) {
    const std::size_t dataSize = platform::Get32(bytes, at);
    const std::size_t headerSize = platform::Get32(bytes, at + 4);
    if (headerSize < 32 || headerSize > size - at || dataSize > size - at - headerSize) return false;
    const std::size_t headerEnd = at + headerSize;
    std::size_t field = at + 8;
    ResourceEntry entry;
    if (!ReadKey(bytes, headerEnd, &field, &entry.type) || !ReadKey(bytes, headerEnd, &field, &entry.name)) return false;
    field = AlignUp(field);
    if (field + 16 > headerEnd) return false;
    entry.language = platform::Get16(bytes, field + 6);
    entry.data = data + headerEnd;
    entry.size = static_cast<win::DWORD>(dataSize);
    if (entry.type.isId && entry.type.id == 0) {
      sawNullResource = true;
    } else {
      entries->push_back(entry);
    }
    at = AlignUp(headerEnd + dataSize);
  }
  return sawNullResource && at >= size;
}

std::mutex g_modulesMutex;
std::set<LoadedModule*>& OpenModules() {
  static std::set<LoadedModule*> modules;
  return modules;
}

LoadedModule& ProgramModule() {
  static LoadedModule* module = [] {
    auto* loaded = new LoadedModule;
    if (bvlsim_program_resources && &bvlsim_program_resources_size &&
        !ParseResourceImage(bvlsim_program_resources, bvlsim_program_resources_size, &loaded->entries)) {
      loaded->entries.clear();
    }
    return loaded;
  }();
  return *module;
}

bool KeyMatches(const ResourceKey& key, win::LPCWSTR wanted) {
  if (win::IS_INTRESOURCE(wanted)) return key.isId && key.id == reinterpret_cast<std::uintptr_t>(wanted);
  return !key.isId && key.text == Fold(wanted);
}

std::wstring Describe(win::LPCWSTR name) {
  if (!name) return std::wstring();
  return win::IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<std::uintptr_t>(name)) : std::wstring(name);
}

// The module behind a handle: the program's for null, an open data module,
// or null for a handle this layer does not know.
LoadedModule* Resolve(win::HMODULE module) {
  if (!module || module == &ProgramModule()) return &ProgramModule();
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  return OpenModules().count(module) ? module : nullptr;
}

}  // namespace

namespace win {

HMODULE GetModuleHandleW(const wchar_t* name) {
  if (name) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return &ProgramModule();
}

HMODULE LoadLibraryExW(const wchar_t* path, HANDLE, DWORD flags) {
  if (!(flags & LOAD_LIBRARY_AS_DATAFILE)) return LoadLibraryW(path);
  auto host = path ? platform::ToHostPath(path) : std::nullopt;
  std::ifstream in;
  if (host) in.open(*host, std::ios::binary);
  if (!in || platform::ShouldFail("LoadLibraryEx", path ? path : L"")) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto module = std::make_unique<LoadedModule>();
  module->owned.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!ParseResourceImage(module->owned.data(), module->owned.size(), &module->entries)) {
    SetLastError(ERROR_BAD_FORMAT);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  OpenModules().insert(module.get());
  return module.release();
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  LoadedModule* loaded = Resolve(module);
  if (!loaded) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!type || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (platform::ShouldFail("FindResource", Describe(name))) return nullptr;
  bool typeSeen = false;
  bool nameSeen = false;
  const ResourceEntry* neutral = nullptr;
  for (const ResourceEntry& entry : loaded->entries) {
    if (!KeyMatches(entry.type, type)) continue;
    typeSeen = true;
    if (!KeyMatches(entry.name, name)) continue;
    nameSeen = true;
    if (entry.language == language) return &entry;
    if (entry.language == LANG_NEUTRAL && !neutral) neutral = &entry;
  }
  if (neutral) return neutral;
  SetLastError(!typeSeen ? ERROR_RESOURCE_TYPE_NOT_FOUND
                         : !nameSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_LANG_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  if (!resource || !Resolve(module)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (platform::ShouldFail("LoadResource", resource->name.isId ? std::to_wstring(resource->name.id) : resource->name.text)) {
    return nullptr;
  }
  // An empty resource still has a place in its module.
  return resource->data;
}

const void* LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (!resource || !Resolve(module)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return resource->size;
}

}  // namespace win

namespace platform {

bool FreeResourceModule(win::HMODULE module) {
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  if (!module || !OpenModules().erase(module)) return false;
  delete module;
  return true;
}

}  // namespace platform
