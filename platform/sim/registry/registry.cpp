// Registry API over the machine's stored registry.
#include "platform/registry.h"

#include <cstring>
#include <mutex>
#include <set>

#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/identity.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/registry/registry_store.h"

namespace win {

struct RegistryKey {
  std::wstring path;  // stored path, view already applied
  REGSAM access = 0;
};

}  // namespace win

namespace platform {

namespace {

std::mutex g_handlesMutex;
std::set<win::HKEY>& LiveKeys() {
  static std::set<win::HKEY> keys;
  return keys;
}

const win::RegistryKey* Lookup(win::HKEY key) {
  std::lock_guard<std::mutex> guard(g_handlesMutex);
  return LiveKeys().count(key) ? key : nullptr;
}

std::wstring TrimSeparators(const std::wstring& subKey) {
  std::size_t begin = subKey.find_first_not_of(L'\\');
  if (begin == std::wstring::npos) return std::wstring();
  std::size_t end = subKey.find_last_not_of(L'\\');
  return subKey.substr(begin, end - begin + 1);
}

bool StartsWithFolded(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && RegistryFold(text.substr(0, prefix.size())) == RegistryFold(prefix);
}

// HKLM\Software of a 32-bit process on a 64-bit machine is its Wow6432Node.
std::wstring ApplyView(const std::wstring& path, win::REGSAM access) {
  if (!Machine::Current().GetProfile().x64 || ProcessIs64Bit() || (access & win::KEY_WOW64_64KEY)) return path;
  const std::wstring software = L"HKLM\\SOFTWARE";
  if (!StartsWithFolded(path, software)) return path;
  if (path.size() > software.size() && path[software.size()] != L'\\') return path;
  std::wstring rest = path.substr(software.size());
  if (StartsWithFolded(rest, L"\\Wow6432Node") &&
      (rest.size() == 12 || rest[12] == L'\\')) {
    return path;
  }
  return path.substr(0, software.size()) + L"\\Wow6432Node" + rest;
}

win::HKEY NewHandle(const std::wstring& path, win::REGSAM access) {
  auto* key = new win::RegistryKey{path, access};
  std::lock_guard<std::mutex> guard(g_handlesMutex);
  LiveKeys().insert(key);
  return key;
}

}  // namespace

std::wstring ResolveRegistryPath(win::HKEY root, const std::wstring& subKey, win::REGSAM access) {
  std::wstring base;
  bool predefined = true;
  if (root == win::HKEY_LOCAL_MACHINE) {
    base = L"HKLM";
  } else if (root == win::HKEY_CURRENT_USER) {
    std::string user = ThreadUser();
    base = L"HKU\\" + std::wstring(user.begin(), user.end());
  } else if (root == win::HKEY_USERS) {
    base = L"HKU";
  } else if (const win::RegistryKey* key = Lookup(root)) {
    // A subkey of an open key lies in the same view as the key.
    base = key->path;
    predefined = false;
  } else {
    return std::wstring();
  }
  std::wstring rest = TrimSeparators(subKey);
  std::wstring path = rest.empty() ? base : base + L"\\" + rest;
  return predefined ? ApplyView(path, access) : path;
}

}  // namespace platform

namespace win {

using platform::ChangeRegistry;
using platform::ReadRegistry;
using platform::RegistryFold;
using platform::RegistryTree;

namespace {

LSTATUS Fail(DWORD error) {
  SetLastError(error);
  return static_cast<LSTATUS>(error);
}

bool FaultFor(const char* operation, const std::wstring& subject, LSTATUS* status) {
  if (!platform::ShouldFail(operation, subject)) return false;
  *status = static_cast<LSTATUS>(GetLastError());
  return true;
}

LSTATUS CreateKey(const char* operation, HKEY root, const std::wstring& subKey, REGSAM access, HKEY* result,
                  DWORD* disposition) {
  if (!result) return Fail(ERROR_INVALID_PARAMETER);
  LSTATUS status;
  if (FaultFor(operation, subKey, &status)) return status;
  std::wstring path = platform::ResolveRegistryPath(root, subKey, access);
  if (path.empty()) return Fail(ERROR_INVALID_HANDLE);
  bool created = false;
  bool ok = ChangeRegistry([&](RegistryTree& tree) {
    created = tree.find(RegistryFold(path)) == tree.end();
    if (!created) return false;  // nothing to write
    platform::EnsureRegistryKey(tree, path);
    return true;
  });
  if (created && !ok) return Fail(ERROR_WRITE_FAULT);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = platform::NewHandle(path, access);
  return ERROR_SUCCESS;
}

LSTATUS OpenKey(const char* operation, HKEY root, const std::wstring& subKey, REGSAM access, HKEY* result) {
  if (!result) return Fail(ERROR_INVALID_PARAMETER);
  LSTATUS status;
  if (FaultFor(operation, subKey, &status)) return status;
  std::wstring path = platform::ResolveRegistryPath(root, subKey, access);
  if (path.empty()) return Fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<const RegistryTree> shared = platform::ShareRegistry();
  const RegistryTree& tree = *shared;
  if (tree.find(RegistryFold(path)) == tree.end()) return Fail(ERROR_FILE_NOT_FOUND);
  *result = platform::NewHandle(path, access);
  return ERROR_SUCCESS;
}

// The stored path of an open key or predefined root.
bool KeyPath(HKEY key, std::wstring* path) {
  *path = platform::ResolveRegistryPath(key, std::wstring(), 0);
  return !path->empty();
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD, const wchar_t*, DWORD, REGSAM access,
                        const void*, HKEY* result, DWORD* disposition) {
  return CreateKey("RegCreateKeyEx", root, subKey, access, result, disposition);
}

LSTATUS RegCreateKeyW(HKEY root, const std::wstring& subKey, HKEY* result) {
  return CreateKey("RegCreateKey", root, subKey, 0, result, nullptr);
}

LSTATUS RegOpenKeyExW(HKEY root, const std::wstring& subKey, DWORD, REGSAM access, HKEY* result) {
  return OpenKey("RegOpenKeyEx", root, subKey, access, result);
}

LSTATUS RegOpenKeyW(HKEY root, const std::wstring& subKey, HKEY* result) {
  return OpenKey("RegOpenKey", root, subKey, 0, result);
}

LSTATUS RegQueryValueExW(HKEY key, const std::wstring& name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  LSTATUS status;
  if (FaultFor("RegQueryValueEx", name, &status)) return status;
  std::wstring path;
  if (!KeyPath(key, &path)) return Fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<const RegistryTree> shared = platform::ShareRegistry();
  const RegistryTree& tree = *shared;
  auto keyIt = tree.find(RegistryFold(path));
  if (keyIt == tree.end()) return Fail(ERROR_KEY_DELETED);
  auto valueIt = keyIt->second.values.find(RegistryFold(name));
  if (valueIt == keyIt->second.values.end()) return Fail(ERROR_FILE_NOT_FOUND);
  const platform::RegistryValue& value = valueIt->second;
  if (type) *type = value.type;
  DWORD needed = static_cast<DWORD>(value.data.size());
  if (data) {
    if (!size) return Fail(ERROR_INVALID_PARAMETER);
    if (*size < needed) {
      *size = needed;
      return Fail(ERROR_MORE_DATA);
    }
    if (needed) std::memcpy(data, value.data.data(), needed);
  }
  if (size) *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, const std::wstring& name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  LSTATUS status;
  if (FaultFor("RegSetValueEx", name, &status)) return status;
  std::wstring path;
  if (!KeyPath(key, &path)) return Fail(ERROR_INVALID_HANDLE);
  if (size && !data) return Fail(ERROR_INVALID_PARAMETER);
  bool missing = false;
  bool ok = ChangeRegistry([&](RegistryTree& tree) {
    auto it = tree.find(RegistryFold(path));
    if (it == tree.end()) {
      missing = true;
      return false;
    }
    platform::RegistryValue value{name, type, std::string(reinterpret_cast<const char*>(data), size)};
    it->second.values[RegistryFold(name)] = value;
    return true;
  });
  if (missing) return Fail(ERROR_KEY_DELETED);
  if (!ok) return Fail(ERROR_WRITE_FAULT);
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, const std::wstring& name) {
  std::wstring path;
  if (!KeyPath(key, &path)) return Fail(ERROR_INVALID_HANDLE);
  bool found = false;
  ChangeRegistry([&](RegistryTree& tree) {
    auto it = tree.find(RegistryFold(path));
    if (it == tree.end()) return false;
    found = it->second.values.erase(RegistryFold(name)) > 0;
    return found;
  });
  return found ? ERROR_SUCCESS : Fail(ERROR_FILE_NOT_FOUND);
}

namespace {

LSTATUS DeleteKey(const char* operation, HKEY root, const std::wstring& subKey, bool wholeTree) {
  LSTATUS status;
  if (FaultFor(operation, subKey, &status)) return status;
  std::wstring path = platform::ResolveRegistryPath(root, subKey, 0);
  if (path.empty()) return Fail(ERROR_INVALID_HANDLE);
  if (platform::TrimSeparators(subKey).empty()) return Fail(ERROR_ACCESS_DENIED);
  DWORD error = ERROR_SUCCESS;
  ChangeRegistry([&](RegistryTree& tree) {
    std::wstring folded = RegistryFold(path);
    if (tree.find(folded) == tree.end()) {
      error = ERROR_FILE_NOT_FOUND;
      return false;
    }
    std::wstring childPrefix = folded + L"\\";
    auto first = tree.lower_bound(childPrefix);
    bool hasChildren = first != tree.end() && first->first.compare(0, childPrefix.size(), childPrefix) == 0;
    if (hasChildren && !wholeTree) {
      error = ERROR_ACCESS_DENIED;
      return false;
    }
    while (first != tree.end() && first->first.compare(0, childPrefix.size(), childPrefix) == 0) {
      first = tree.erase(first);
    }
    tree.erase(folded);
    return true;
  });
  return error == ERROR_SUCCESS ? ERROR_SUCCESS : Fail(error);
}

}  // namespace

LSTATUS RegDeleteKeyW(HKEY root, const std::wstring& subKey) { return DeleteKey("RegDeleteKey", root, subKey, false); }

LSTATUS SHDeleteKeyW(HKEY root, const std::wstring& subKey) { return DeleteKey("SHDeleteKey", root, subKey, true); }

LSTATUS RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> guard(platform::g_handlesMutex);
  if (!platform::LiveKeys().erase(key)) return Fail(ERROR_INVALID_HANDLE);
  delete key;
  return ERROR_SUCCESS;
}

}  // namespace win
