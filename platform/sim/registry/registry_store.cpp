// Persistence of the machine registry in registry.json: one key per line,
// string data as text and other data as base64, so that the file stays
// proportional to what was written.
#include "platform/sim/registry/registry_store.h"

#include <cwctype>
#include <memory>
#include <mutex>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/registry/registry_encoding.h"
#include "platform/sim/machine/state_file.h"

namespace platform {

namespace {

int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a value's "data", hex digits in pairs: the form machines made
// before the text and base64 forms, still read.
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

bool IsStringType(win::DWORD type) { return type == 1 || type == 2 || type == 7; }  // SZ, EXPAND_SZ, MULTI_SZ

// The bytes of a value from exactly one of its forms.
std::string DecodeData(const StateValue& v) {
  StateValue text = v.Optional("text");
  StateValue base64 = v.Optional("base64");
  StateValue hex = v.Optional("data");
  int forms = text.Present() + base64.Present() + hex.Present();
  if (forms != 1) {
    v.Reject(forms ? "more than one of \"text\", \"base64\" and \"data\"" : "no \"text\", \"base64\" or \"data\"");
    return std::string();
  }
  if (text.Present()) return Utf8ToUtf16Le(text.View());
  if (hex.Present()) return DecodeHex(hex);
  std::string bytes;
  std::string_view encoded = base64.View();  // reports a value that is not a string
  if (base64.Json()->is_string() && !DecodeBase64(encoded, &bytes)) base64.Reject("not base64");
  return bytes;
}

// registry.json: {"keys": [{"path": "HKLM\\...", "values": [{"name", "type",
// "text" or "base64"}]}]}. A key or value name that appears twice would lose
// one of them: the file is then not one this machine wrote.
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
      value.data = DecodeData(v);
      if (!record.values.emplace(RegistryFold(value.name), std::move(value)).second) {
        v.Reject("a second value of this name in its key");
      }
    }
    if (!tree->emplace(RegistryFold(record.path), std::move(record)).second) key.Reject("a second key of this path");
  }
}

// The data of a value: its text when it is a string whose text is at most
// half as large again as its bytes (Korean text is exactly that; a string
// of control characters would be three times larger), else base64.
void AppendData(std::string* out, const RegistryValue& value) {
  std::string utf8;
  if (IsStringType(value.type) && Utf16LeToUtf8(value.data, &utf8)) {
    std::size_t start = out->size();
    out->append("\"text\": ");
    AppendJsonString(out, utf8);
    if (out->size() - start <= value.data.size() + value.data.size() / 2 + 16) return;
    out->resize(start);
  }
  out->append("\"base64\": \"");
  out->append(EncodeBase64(value.data));
  out->push_back('"');
}

// One key per line. Written directly rather than through a JSON document, so
// that a large value is copied once.
std::string Serialise(const RegistryTree& tree) {
  std::size_t expected = 16;
  for (const auto& [folded, record] : tree) {
    expected += 32 + record.path.size();
    for (const auto& [name, value] : record.values) expected += 48 + name.size() + value.data.size() * 3 / 2;
  }
  std::string out;
  out.reserve(expected);
  out.append("{\"keys\": [");
  bool firstKey = true;
  for (const auto& [folded, record] : tree) {
    out.append(firstKey ? "\n " : ",\n ");
    firstKey = false;
    out.append("{\"path\": ");
    AppendJsonString(&out, WideToUtf8(record.path));
    out.append(", \"values\": [");
    bool firstValue = true;
    for (const auto& [name, value] : record.values) {
      out.append(firstValue ? "{\"name\": " : ", {\"name\": ");
      firstValue = false;
      AppendJsonString(&out, WideToUtf8(value.name));
      out.append(", \"type\": " + std::to_string(value.type) + ", ");
      AppendData(&out, value);
      out.push_back('}');
    }
    out.append("]}");
  }
  out.append("\n]}\n");
  return out;
}

// The last registry this process parsed or wrote, shared while the file is
// unchanged (every write replaces the file, so its identity changes): a read
// of a large registry costs no copy.
struct ParsedCache {
  std::mutex mutex;
  std::string file;
  StateFileIdentity identity;
  std::shared_ptr<const RegistryTree> tree;
};

ParsedCache& Cache() {
  static ParsedCache cache;
  return cache;
}

const std::shared_ptr<const RegistryTree>& EmptyTree() {
  static const std::shared_ptr<const RegistryTree> empty = std::make_shared<const RegistryTree>();
  return empty;
}

// A registry file that cannot be read or is damaged stops the program here,
// before any change could be written over it.
std::shared_ptr<const RegistryTree> LoadLocked(const std::filesystem::path& file) {
  std::optional<StateFileIdentity> now = IdentifyStateFile(file);
  if (!now) return EmptyTree();
  ParsedCache& cache = Cache();
  {
    std::lock_guard<std::mutex> guard(cache.mutex);
    if (cache.tree && cache.file == file.string() && cache.identity == *now) return cache.tree;
  }
  auto tree = std::make_shared<RegistryTree>();
  StateFileIdentity read;
  if (!ReadStateFile(file, [&](const StateValue& root) { Decode(root, tree.get()); }, &read)) return EmptyTree();
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

std::shared_ptr<const RegistryTree> ShareRegistry() {
  std::filesystem::path file = Machine::Current().RegistryFile();
  FileLock lock(file, false);
  return LoadLocked(file);
}

RegistryTree ReadRegistry() { return *ShareRegistry(); }

bool ChangeRegistry(const std::function<bool(RegistryTree&)>& change) {
  std::filesystem::path file = Machine::Current().RegistryFile();
  FileLock lock(file, true);
  auto tree = std::make_shared<RegistryTree>(*LoadLocked(file));
  if (!change(*tree)) return false;
  if (!WriteFileAtomically(file, Serialise(*tree))) return false;
  // The file is the one just written (the lock is still held): the next
  // operation need not parse it again.
  if (std::optional<StateFileIdentity> written = IdentifyStateFile(file)) {
    ParsedCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.mutex);
    cache.file = file.string();
    cache.identity = *written;
    cache.tree = std::move(tree);
  }
  return true;
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
