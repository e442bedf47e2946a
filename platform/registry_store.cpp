// Persistence of the machine registry in registry.json.
#include "platform/registry_store.h"

#include <cwctype>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/file_lock.h"
#include "platform/machine.h"
#include "platform/state_file.h"

namespace platform {

namespace {

std::string ToHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a value's "data", which must be hex digits in pairs.
std::string DecodeHex(const StateValue& data) {
  std::string_view text = data.View();
  std::string out;
  if (text.size() % 2 != 0) {
    data.Reject("hex digits in pairs expected, found an odd count");
    return out;
  }
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = Nibble(text[i]);
    int low = Nibble(text[i + 1]);
    if (high < 0 || low < 0) {
      data.Reject("hex digits expected, found another character at " + std::to_string(i));
      return std::string();
    }
    out.push_back(static_cast<char>(high << 4 | low));
  }
  return out;
}

// registry.json: {"keys": [{"path": "HKLM\\...", "values": [{"name", "type", "data"}]}]}.
// A key or value name that appears twice would lose one of them: the file is
// then not one this machine wrote.
void Decode(const StateValue& root, RegistryTree* tree) {
  for (const StateValue& key : root.Required("keys").Elements()) {
    RegistryKeyRecord record;
    StateValue path = key.Required("path");
    record.path = Utf8ToWide(path.Text());
    if (path.Present() && record.path.empty()) path.Reject("an empty key path");
    for (const StateValue& v : key.Optional("values").Elements()) {
      RegistryValue value;
      value.name = Utf8ToWide(v.Required("name").Text());
      value.type = v.Required("type").Whole<win::DWORD>(0);
      value.data = DecodeHex(v.Required("data"));
      if (!record.values.emplace(RegistryFold(value.name), std::move(value)).second) {
        v.Reject("a second value of this name in its key");
      }
    }
    if (!tree->emplace(RegistryFold(record.path), std::move(record)).second) key.Reject("a second key of this path");
  }
}

std::string Serialise(const RegistryTree& tree) {
  nlohmann::json keys = nlohmann::json::array();
  for (const auto& [folded, record] : tree) {
    nlohmann::json values = nlohmann::json::array();
    for (const auto& [name, value] : record.values) {
      values.push_back({{"name", WideToUtf8(value.name)}, {"type", value.type}, {"data", ToHex(value.data)}});
    }
    keys.push_back({{"path", WideToUtf8(record.path)}, {"values", values}});
  }
  return nlohmann::json{{"keys", keys}}.dump(1);
}

// The last registry this process parsed, reused while the file is unchanged
// (every write replaces the file, so its identity changes).
struct ParsedCache {
  std::mutex mutex;
  std::string file;
  StateFileIdentity identity;
  RegistryTree tree;
};

ParsedCache& Cache() {
  static ParsedCache cache;
  return cache;
}

// A registry file that cannot be read or is damaged stops the program here,
// before any change could be written over it.
RegistryTree LoadLocked(const std::filesystem::path& file) {
  std::optional<StateFileIdentity> now = IdentifyStateFile(file);
  if (!now) return RegistryTree();
  ParsedCache& cache = Cache();
  {
    std::lock_guard<std::mutex> guard(cache.mutex);
    if (cache.file == file.string() && cache.identity == *now) return cache.tree;
  }
  RegistryTree tree;
  StateFileIdentity read;
  if (!ReadStateFile(file, [&](const StateValue& root) { Decode(root, &tree); }, &read)) return RegistryTree();
  std::lock_guard<std::mutex> guard(cache.mutex);
  cache.file = file.string();
  cache.identity = read;
  cache.tree = tree;
  return tree;
}

}  // namespace

std::wstring RegistryFold(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

RegistryTree ReadRegistry() {
  std::filesystem::path file = Machine::Current().RegistryFile();
  FileLock lock(file, false);
  return LoadLocked(file);
}

bool ChangeRegistry(const std::function<bool(RegistryTree&)>& change) {
  std::filesystem::path file = Machine::Current().RegistryFile();
  FileLock lock(file, true);
  RegistryTree tree = LoadLocked(file);
  if (!change(tree)) return false;
  return WriteFileAtomically(file, Serialise(tree));
}

RegistryKeyRecord& EnsureRegistryKey(RegistryTree& tree, const std::wstring& path) {
  std::size_t pos = 0;
  RegistryKeyRecord* last = nullptr;
  while (true) {
    std::size_t next = path.find(L'\\', pos);
    std::wstring prefix = next == std::wstring::npos ? path : path.substr(0, next);
    auto [it, inserted] = tree.try_emplace(RegistryFold(prefix));
    if (inserted) it->second.path = prefix;
    last = &it->second;
    if (next == std::wstring::npos) break;
    pos = next + 1;
  }
  return *last;
}

std::wstring FormatRegistry(const RegistryTree& tree, const std::wstring& prefix) {
  std::wstring out;
  std::wstring foldedPrefix = RegistryFold(prefix);
  for (const auto& [folded, record] : tree) {
    if (folded.compare(0, foldedPrefix.size(), foldedPrefix) != 0) continue;
    out += L"[" + record.path + L"]\n";
    for (const auto& [name, value] : record.values) {
      out += L"  \"" + value.name + L"\" = ";
      if (value.type == 1 || value.type == 2) {
        std::wstring text = Utf16LeToWide(value.data);
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        out += std::wstring(value.type == 1 ? L"REG_SZ" : L"REG_EXPAND_SZ") + L" \"" + text + L"\" (" +
               std::to_wstring(value.data.size()) + L" bytes)";
      } else if (value.type == 4 && value.data.size() == 4) {
        unsigned v = static_cast<unsigned char>(value.data[0]) | static_cast<unsigned char>(value.data[1]) << 8 |
                     static_cast<unsigned char>(value.data[2]) << 16 |
                     static_cast<unsigned>(static_cast<unsigned char>(value.data[3])) << 24;
        out += L"REG_DWORD " + std::to_wstring(v);
      } else if (value.type == 7) {
        std::wstring all = Utf16LeToWide(value.data);
        out += L"REG_MULTI_SZ";
        std::size_t start = 0;
        while (start < all.size()) {
          std::size_t end = all.find(L'\0', start);
          if (end == std::wstring::npos) end = all.size();
          if (end > start) out += L" \"" + all.substr(start, end - start) + L"\"";
          start = end + 1;
        }
      } else {
        out += L"type " + std::to_wstring(value.type) + L", " + std::to_wstring(value.data.size()) + L" bytes";
      }
      out += L"\n";
    }
  }
  return out;
}

}  // namespace platform
