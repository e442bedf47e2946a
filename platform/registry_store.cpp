// Persistence of the machine registry in registry.json.
#include "platform/registry_store.h"

#include <sys/stat.h>

#include <cwctype>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "platform/file_lock.h"
#include "platform/machine.h"

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

std::string FromHex(const std::string& text) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
  };
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<char>(nibble(text[i]) << 4 | nibble(text[i + 1])));
  }
  return out;
}

RegistryTree Parse(const std::string& content) {
  RegistryTree tree;
  nlohmann::json doc = nlohmann::json::parse(content, nullptr, false);
  if (!doc.is_object() || !doc.contains("keys") || !doc["keys"].is_array()) return tree;
  for (const auto& key : doc["keys"]) {
    RegistryKeyRecord record;
    record.path = Utf8ToWide(key.value("path", std::string()));
    if (key.contains("values") && key["values"].is_array()) {
      for (const auto& v : key["values"]) {
        RegistryValue value;
        value.name = Utf8ToWide(v.value("name", std::string()));
        value.type = v.value("type", 0u);
        value.data = FromHex(v.value("data", std::string()));
        record.values[RegistryFold(value.name)] = value;
      }
    }
    tree[RegistryFold(record.path)] = record;
  }
  return tree;
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
// (every write replaces the file, so its inode changes).
struct ParsedCache {
  std::mutex mutex;
  std::string file;
  ino_t inode = 0;
  long long mtime = 0;
  off_t size = -1;
  RegistryTree tree;
};

ParsedCache& Cache() {
  static ParsedCache cache;
  return cache;
}

RegistryTree LoadLocked(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return RegistryTree();
  ParsedCache& cache = Cache();
  long long mtime = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  {
    std::lock_guard<std::mutex> guard(cache.mutex);
    if (cache.file == file.string() && cache.inode == info.st_ino && cache.mtime == mtime && cache.size == info.st_size) {
      return cache.tree;
    }
  }
  auto content = ReadWholeFile(file);
  RegistryTree tree = content ? Parse(*content) : RegistryTree();
  std::lock_guard<std::mutex> guard(cache.mutex);
  cache.file = file.string();
  cache.inode = info.st_ino;
  cache.mtime = mtime;
  cache.size = info.st_size;
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
